#ifndef ORVANTA_TESTS_ROVWRITER_H
#define ORVANTA_TESTS_ROVWRITER_H

// Tests' side of the pose publisher (RovWriterMain.cpp, built as
// orvanta_rov_writer, its path compiled in as ORVANTA_ROV_WRITER): a
// RovWriter runs the program with a block of a name of its own, so that
// tests running side by side never meet each other's block or the real
// "ROVMEMDATA"; RovBlockScope makes the ROV nodes made while it lives attach
// to that block.

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

#include "Sd_ROVParent.h"

extern char** environ;

namespace rov_test {

class RovWriter {
 public:
  // Starts the writer with a block of bytes bytes and waits until it is
  // there (Ready()).
  explicit RovWriter(int bytes = Sd_ROVParent::kBlockBytes) {
    static int serial = 0;
    m_name = "orvanta-rov-test-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
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
    char* argv[] = {const_cast<char*>(ORVANTA_ROV_WRITER), const_cast<char*>(m_name.c_str()),
                    const_cast<char*>(size.c_str()), nullptr};
    if (posix_spawn(&m_pid, ORVANTA_ROV_WRITER, &actions, nullptr, argv, environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    m_to = in[1];
    m_from = out[0];
    m_ready = m_pid > 0 && ReadLine() == "ready";
  }

  // Ends the writer, which removes its block.
  ~RovWriter() {
    if (m_to >= 0) {
      Send("quit");
      close(m_to);
    }
    if (m_from >= 0) close(m_from);
    if (m_pid > 0) waitpid(m_pid, nullptr, 0);
  }

  RovWriter(const RovWriter&) = delete;
  RovWriter& operator=(const RovWriter&) = delete;

  bool Ready() const { return m_ready; }
  const std::string& Name() const { return m_name; }

  // The vehicle at (x, y, z) in coordinate mode mode, not turned, scales
  // 1, no offset.
  bool Pose(double x, double y, double z, double mode) { return Ask(Text("pose", {x, y, z, mode})) == "ok"; }
  // Doubles index, index + 1, ... of the block.
  bool Set(int index, const std::vector<double>& values) {
    return Ask(Text(("set " + std::to_string(index)).c_str(), values)) == "ok";
  }
  // Doubles index ... index + count - 1 of the block; empty on failure.
  std::vector<double> Get(int index, int count) {
    std::istringstream reply(Ask("get " + std::to_string(index) + " " + std::to_string(count)));
    std::string ok;
    std::vector<double> values;
    double v;
    if (!(reply >> ok) || ok != "ok") return values;
    while (reply >> v) values.push_back(v);
    if (static_cast<int>(values.size()) != count) values.clear();
    return values;
  }
  // The history name; FillName fills all its bytes with c, unterminated.
  bool HistoryName(const std::string& name) { return Ask("name " + name) == "ok"; }
  bool FillName(char c) { return Ask(std::string("fillname ") + c) == "ok"; }

 private:
  static std::string Text(const char* word, const std::vector<double>& values) {
    std::ostringstream c;
    c.precision(17);
    c << word;
    for (double v : values) c << ' ' << v;
    return c.str();
  }

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

  std::string Ask(const std::string& command) { return Send(command) ? ReadLine() : std::string(); }

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

// ROV nodes made while it lives attach to the block of that name; the name
// before it comes back afterwards.
class RovBlockScope {
 public:
  explicit RovBlockScope(const std::string& name) : m_before(Sd_ROVParent::GetBlockName()) {
    Sd_ROVParent::SetBlockName(name.c_str());
  }
  ~RovBlockScope() { Sd_ROVParent::SetBlockName(m_before.c_str()); }
  RovBlockScope(const RovBlockScope&) = delete;
  RovBlockScope& operator=(const RovBlockScope&) = delete;

 private:
  std::string m_before;
};

// A writer whose block the ROV nodes made meanwhile attach to.
struct PublishedBlock {
  explicit PublishedBlock(int bytes = Sd_ROVParent::kBlockBytes) : writer(bytes), scope(writer.Name()) {}
  RovWriter writer;
  RovBlockScope scope;
};

// A block name that no program publishes.
inline std::string MissingBlockName() { return "orvanta-rov-test-missing-" + std::to_string(getpid()); }

}  // namespace rov_test

#endif
