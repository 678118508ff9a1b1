// pxab directory users and pxab directory find: the directory as the address book's backend
// makes it, the developer's view until the full client arrives.
#pragma once

#include <string>
#include <vector>

// Each gets the arguments after its sub-command's name; returns the exit status.
int RunDirectoryUsers(const std::vector<std::string>& args);
int RunDirectoryFind(const std::vector<std::string>& args);

// Reports a wrong command line of `pxab directory SUB` on standard error; kExitUsage.
int DirectoryUsage(const char* sub, const std::string& message);
