#pragma once
// The host's own core/Global.h (see project/Project.h beside it).
struct HostGlobals { int frames = 2; };
