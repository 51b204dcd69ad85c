#pragma once

class HostCommandLine;

// open and update: registers the host's project, opens it with a progress
// display, updates it once more for update, and prints the summary.
// Failures leave as HostError or as the library's exceptions.
void runProjectCommand(const HostCommandLine& commandLine);
