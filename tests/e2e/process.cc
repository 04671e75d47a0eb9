#include "e2e/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace e2e {
namespace {

void CloseBoth(int pipe_ends[2]) {
  if (pipe_ends[0] >= 0) close(pipe_ends[0]);
  if (pipe_ends[1] >= 0) close(pipe_ends[1]);
}

double Now() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

}  // namespace

ProcessResult RunProcess(const ProcessRequest& request) {
  ProcessResult result;
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 ||
      pipe2(err, O_CLOEXEC) != 0) {
    CloseBoth(in);
    CloseBoth(out);
    CloseBoth(err);
    return result;
  }
  // Everything the child needs is made before fork: it only calls
  // async-signal-safe functions afterwards.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(request.program.c_str()));
  for (const std::string& a : request.arguments) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : request.environment) {
    envp.push_back(const_cast<char*>(e.c_str()));
  }
  envp.push_back(nullptr);

  const pid_t child = fork();
  if (child < 0) {
    CloseBoth(in);
    CloseBoth(out);
    CloseBoth(err);
    return result;
  }
  if (child == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    if (!request.folder.empty() && chdir(request.folder.c_str()) != 0)
      _exit(126);
    if (request.file_size_limit >= 0) {
      // A write past the limit then fails with EFBIG instead of killing.
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max =
          static_cast<rlim_t>(request.file_size_limit);
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    execve(request.program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  result.started = true;
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);  // the child may leave its input unread

  size_t written = 0;
  int input_fd = in[1];
  if (request.input.empty()) {
    close(input_fd);
    input_fd = -1;
  }
  int output_fd = out[0];
  int errors_fd = err[0];
  const double deadline = Now() + request.timeout_seconds;
  bool killed = false;
  while (output_fd >= 0 || errors_fd >= 0) {
    struct pollfd fds[3];
    int count = 0;
    if (input_fd >= 0) fds[count++] = {input_fd, POLLOUT, 0};
    if (output_fd >= 0) fds[count++] = {output_fd, POLLIN, 0};
    if (errors_fd >= 0) fds[count++] = {errors_fd, POLLIN, 0};
    const int left_ms = static_cast<int>((deadline - Now()) * 1000);
    if (left_ms <= 0) {
      kill(child, SIGKILL);
      killed = true;
      break;
    }
    if (poll(fds, count, left_ms) < 0 && errno != EINTR) break;
    for (int i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == input_fd) {
        const ssize_t put = write(input_fd, request.input.data() + written,
                                  request.input.size() - written);
        if (put > 0) written += static_cast<size_t>(put);
        if (put < 0 || written == request.input.size()) {
          close(input_fd);
          input_fd = -1;
        }
        continue;
      }
      char chunk[65536];
      const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
      std::string& into =
          fds[i].fd == output_fd ? result.output : result.errors;
      if (got > 0) {
        into.append(chunk, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        (fds[i].fd == output_fd ? output_fd : errors_fd) = -1;
      }
    }
  }
  if (input_fd >= 0) close(input_fd);
  if (output_fd >= 0) close(output_fd);
  if (errors_fd >= 0) close(errors_fd);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && !killed) {
    result.exited = true;
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

}  // namespace e2e
