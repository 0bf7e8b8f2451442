#pragma once

#include <string>
#include <vector>

// The package tool's commands. Each takes the whole command line (args[0] the program, args[1] the command) and
// returns the exit status.

constexpr int kExitOk = 0;
constexpr int kExitCheckFailed = 1;  // a check failed (extract still writes the bytes)
constexpr int kExitUsage = 2;        // usage or I/O error

// Prints the usage lines to stderr.
void PrintUsage();

int Pack(const std::vector<std::string>& args);
int List(const std::vector<std::string>& args);
int Extract(const std::vector<std::string>& args);
int Verify(const std::vector<std::string>& args);
int Brand(const std::vector<std::string>& args);
int Names(const std::vector<std::string>& args);
int Layout(const std::vector<std::string>& args);
int Facts(const std::vector<std::string>& args);
