#pragma once
// Puts the server model's class-wide state (the four sort keys with their directions and the
// three baseline switches) back as it was when the guard was made, so one test's clicks do not
// reach the next.

#include "DBServerInfoSource.h"

class ModelStateGuard {
public:
    ModelStateGuard();
    ~ModelStateGuard();
    ModelStateGuard(const ModelStateGuard &) = delete;
    ModelStateGuard &operator=(const ModelStateGuard &) = delete;

private:
    TSortKey Keys[4];
    bool Ascending[4];
    bool Baseline[3];
};
