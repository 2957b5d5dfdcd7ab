#include "Subprocess.hpp"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <stdexcept>

namespace tova::test
{
  namespace
  {
    class Pipe
    {
    public:
      Pipe()
      {
        if (pipe(ends.data()) != 0)
          throw std::runtime_error("pipe failed");
      }

      Pipe(const Pipe &) = delete;
      Pipe &operator=(const Pipe &) = delete;

      ~Pipe()
      {
        CloseRead();
        CloseWrite();
      }

      int Read() const { return ends[0]; }
      int Write() const { return ends[1]; }
      void CloseRead() { Close(ends[0]); }
      void CloseWrite() { Close(ends[1]); }

    private:
      static void Close(int &fd)
      {
        if (fd >= 0)
          close(fd);
        fd = -1;
      }

      std::array<int, 2> ends{-1, -1};
    };

    [[noreturn]] void ExecChild(const std::string &program,
                                const std::vector<std::string> &args,
                                const Pipe &out, const Pipe &err)
    {
      dup2(out.Write(), STDOUT_FILENO);
      dup2(err.Write(), STDERR_FILENO);
      std::vector<char *> argv;
      argv.push_back(const_cast<char *>(program.c_str()));
      for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }

    // Reads both streams together so that neither pipe can fill up and
    // stall the child.
    void Drain(Pipe &out, Pipe &err, ProgramResult &result)
    {
      std::array<pollfd, 2> fds{
          {{out.Read(), POLLIN, 0}, {err.Read(), POLLIN, 0}}};
      std::array<std::string *, 2> sinks{&result.out, &result.err};
      int open = 2;
      while (open > 0)
      {
        if (poll(fds.data(), fds.size(), -1) < 0)
        {
          if (errno == EINTR)
            continue;
          throw std::runtime_error("poll failed");
        }
        for (std::size_t i = 0; i < fds.size(); ++i)
        {
          if (fds[i].fd < 0 || fds[i].revents == 0)
            continue;
          char buffer[4096];
          const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
          if (count > 0)
          {
            sinks[i]->append(buffer, static_cast<std::size_t>(count));
            continue;
          }
          fds[i].fd = -1;
          --open;
        }
      }
    }
  }

  ProgramResult RunProgram(const std::string &program,
                           const std::vector<std::string> &args)
  {
    Pipe out;
    Pipe err;
    const pid_t child = fork();
    if (child < 0)
      throw std::runtime_error("fork failed");
    if (child == 0)
      ExecChild(program, args, out, err);

    out.CloseWrite();
    err.CloseWrite();
    ProgramResult result{"", "", -1};
    Drain(out, err, result);
    int waitStatus = 0;
    while (waitpid(child, &waitStatus, 0) < 0 && errno == EINTR)
    {
    }
    if (WIFEXITED(waitStatus))
      result.status = WEXITSTATUS(waitStatus);
    return result;
  }
}
