#ifndef QK_TESTLOG_H
#define QK_TESTLOG_H

class orvanta;

// The test log of the viewer. When the environment variable
// ORVANTA_TEST_LOG names a file, the program records into it instead of
// interacting with the desktop: each message or question box as
// "box<TAB>caption<TAB>text" (answered with OK, or No), each web page or
// document it would open as "url<TAB>address", and the window's caption and
// status fields as "title", "exag" and "georef" lines, followed by "ready"
// once start-up has finished (and the three lines again whenever the caption
// or the exaggeration changes). Newlines and tabs in texts are written as \n
// and \t. Tests of the running viewer read it.
//
// Starts the log for window when the variable is set and not empty; does
// nothing otherwise (or when the file cannot be opened).
void Qk_StartTestLogFromEnvironment(orvanta* window);

#endif
