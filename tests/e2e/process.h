// Runs a program with its standard streams on pipes, for tests that drive
// the real program the way a script would.
#ifndef QUILLMOOR_TESTS_E2E_PROCESS_H_
#define QUILLMOOR_TESTS_E2E_PROCESS_H_

#include <string>
#include <vector>

namespace e2e {

struct ProcessRequest {
  std::string program;
  std::vector<std::string> arguments;    // after the program's name
  std::vector<std::string> environment;  // "NAME=value", nothing else
  std::string folder;                    // the current folder it starts in
  std::string input;                     // its whole standard input
  long long file_size_limit = -1;        // RLIMIT_FSIZE in bytes, -1: none
  int timeout_seconds = 120;             // then it is killed
};

struct ProcessResult {
  bool started = false;
  bool exited = false;  // false: killed by a signal (see signal)
  int status = -1;
  int signal = 0;
  std::string output;
  std::string errors;
};

ProcessResult RunProcess(const ProcessRequest& request);

}  // namespace e2e

#endif  // QUILLMOOR_TESTS_E2E_PROCESS_H_
