#pragma once

class HostCommandLine;

// get, post and download: the library's REST requests and file download,
// with the signed-in user's token. Replies are printed as indented JSON.
void runGet(const HostCommandLine& commandLine);
void runPost(const HostCommandLine& commandLine);
void runDownload(const HostCommandLine& commandLine);
