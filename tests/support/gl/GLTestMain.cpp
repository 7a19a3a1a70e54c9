// The main() of a GL test binary: the context lives around all its tests.
// Kept alone in this file, so a test folder that brings its own main() wins.
#include "GLTestFixture.h"

int main(int argc, char** argv) { return orvanta_test::RunGLTests(argc, argv); }
