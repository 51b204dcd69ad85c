#pragma once
// The host's own core/Global.h and its own Global, beside the package's (see
// project/Project.h).
struct Global { int frames = 2; };
