#pragma once

#include <memory>

// The count of changes a model went through since its last fetchCommand,
// shared by the model and every part of it that can change.
struct ChangeLog
{
    int changes = 0;
    void note() { ++changes; }
};

using ChangeLogPtr = std::shared_ptr<ChangeLog>;
