#ifndef ORVANTA_TESTS_BLOCKWRITER_H
#define ORVANTA_TESTS_BLOCKWRITER_H

// Tests' side of the shared-memory publisher (BlockWriterMain.cpp, built as
// orvanta_block_writer, its path compiled in as ORVANTA_BLOCK_WRITER): a
// BlockWriter runs the program with a block of a name of its own, so that
// tests running side by side never meet each other's blocks, and asks it to
// write into the block; the block goes when the writer does.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace block_test {

class BlockWriter {
 public:
  // Starts the writer with a block of bytes bytes, named after prefix, the
  // process and a serial number, and waits until it is there (Ready()).
  BlockWriter(const std::string& prefix, long long bytes) {
    static int serial = 0;
    m_name = prefix + std::to_string(getpid()) + "-" + std::to_string(++serial);
    // A writer that has gone must fail the test, not end it.
    signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
      close(in[0]);
      close(in[1]);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string size = std::to_string(bytes);
    char* argv[] = {const_cast<char*>(ORVANTA_BLOCK_WRITER), const_cast<char*>(m_name.c_str()),
                    const_cast<char*>(size.c_str()), nullptr};
    if (posix_spawn(&m_pid, ORVANTA_BLOCK_WRITER, &actions, nullptr, argv, environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    m_to = in[1];
    m_from = out[0];
    m_ready = m_pid > 0 && ReadLine() == "ready";
  }

  // Ends the writer, which removes its block.
  ~BlockWriter() {
    if (m_to >= 0) {
      Send("quit");
      close(m_to);
    }
    if (m_from >= 0) close(m_from);
    if (m_pid > 0) waitpid(m_pid, nullptr, 0);
  }

  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  bool Ready() const { return m_ready; }
  const std::string& Name() const { return m_name; }

  // Values of type ("u16", "i16", "i32", "u32", "f32") at byte offset and
  // on, in the machine's byte order.
  bool Put(const char* type, unsigned long long offset, const std::vector<double>& values) {
    return Ask(Text(("put " + std::string(type) + " " + std::to_string(offset)).c_str(), values)) == "ok";
  }

 protected:
  static std::string Text(const char* word, const std::vector<double>& values) {
    std::ostringstream c;
    c.precision(17);
    c << word;
    for (double v : values) c << ' ' << v;
    return c.str();
  }
  std::string Ask(const std::string& command) { return Send(command) ? ReadLine() : std::string(); }

 private:
  bool Send(const std::string& line) {
    const std::string data = line + "\n";
    size_t done = 0;
    while (m_to >= 0 && done < data.size()) {
      const ssize_t n = write(m_to, data.data() + done, data.size() - done);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return done == data.size();
  }

  // One line of the writer's answer; "" when it has gone quiet (a safety
  // limit of 20 s, not a measurement).
  std::string ReadLine() {
    for (;;) {
      const size_t end = m_buffer.find('\n');
      if (end != std::string::npos) {
        const std::string line = m_buffer.substr(0, end);
        m_buffer.erase(0, end + 1);
        return line;
      }
      pollfd p = {m_from, POLLIN, 0};
      if (m_from < 0 || poll(&p, 1, 20000) <= 0) return std::string();
      char chunk[512];
      const ssize_t n = read(m_from, chunk, sizeof(chunk));
      if (n <= 0) return std::string();
      m_buffer.append(chunk, static_cast<size_t>(n));
    }
  }

  std::string m_name;
  pid_t m_pid = -1;
  int m_to = -1;
  int m_from = -1;
  bool m_ready = false;
  std::string m_buffer;
};

}  // namespace block_test

#endif
