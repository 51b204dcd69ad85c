#pragma once

class HostCommandLine;

// workspace create|list|clear|remove DIR: the library's folder utilities.
void runWorkspace(const HostCommandLine& commandLine);
