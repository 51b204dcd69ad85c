#pragma once
// The host's own project header and class, named as the package's: the
// package's headers must never reach them.
struct Project { int zoom = 3; };
