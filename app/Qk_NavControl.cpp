#include "Qk_NavControl.h"

Qk_NavControl::Qk_NavControl()
    : m_pressCallback(nullptr), m_motionCallback(nullptr), m_releaseCallback(nullptr), m_owner(nullptr) {}

Qk_NavControl::~Qk_NavControl() {}

void Qk_NavControl::Draw() {}
int Qk_NavControl::Hit(double, double, double) { return 0; }
void Qk_NavControl::Motion(int, int, int) {}
void Qk_NavControl::Release(int, int, int) {}
