#pragma once
// The host's own project header, named as the package's once was: the
// package's headers must never reach it.
struct HostProjectSettings { int zoom = 3; };
