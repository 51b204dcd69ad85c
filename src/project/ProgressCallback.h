#pragma once

// Receives progress while a project update waits for the central service: a
// NUL-terminated text, valid only during the call, and a value, both exactly
// as the platform hub sent them. A null callback drops the progress.
using ProgressCallback = void (*)(const wchar_t*, double);
