#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <thread>

#include "trace/trace.h"
#include "udplistener.h"

TEST(Trace, WithoutListenerTheCallerGoesOn) {
  int object = 0;
  for (int i = 0; i < 100; ++i) TraceObject("CABContainer::SaveChanges", &object);
  TraceText("ABProviderInit");
  SUCCEED();
}

TEST(Trace, ObjectLinesCarryTheAddressPrefix) {
  UdpListener listener(kTracePort);
  int object = 0;
  TraceObject("CABContainer::SaveChanges", &object);
  EXPECT_EQ(listener.Receive(), TraceAddress(&object) + " : CABContainer::SaveChanges");

  TraceObject("CABProvider::Release - ref = %d", &object, 0);
  EXPECT_EQ(listener.Receive(), TraceAddress(&object) + " : CABProvider::Release - ref = 0");

  TraceObject("signed %d, text %s", &object, -5, "é");
  EXPECT_EQ(listener.Receive(), TraceAddress(&object) + " : signed -5, text é");

  TraceText("ABProviderInit");
  EXPECT_EQ(listener.Receive(), "ABProviderInit");  // no prefix, no NUL, no line end
}

TEST(Trace, LowAddressIsZeroPaddedUpperCaseHex) {
  UdpListener listener(kTracePort);
  TraceObject("x", reinterpret_cast<const void*>(std::uintptr_t{0xABCDEF}));
  EXPECT_EQ(listener.Receive(), "00ABCDEF : x");
  // Wider addresses show their low 32 bits.
  TraceObject("y", reinterpret_cast<const void*>(static_cast<std::uintptr_t>(0x7FFF12345678ull)));
  EXPECT_EQ(listener.Receive(), "12345678 : y");
}

TEST(Trace, LongLineGoesWholeInOneDatagram) {
  UdpListener listener(kTracePort);
  const std::string longText(60000, 'a');
  TraceText("%s", longText.c_str());
  EXPECT_EQ(listener.Receive(), longText);
}

TEST(SevenBitText, ReplacesHighBytesKeepingLength) {
  EXPECT_EQ(SevenBitText("John Smith <js@example.org>"), "John Smith <js@example.org>");
  EXPECT_EQ(SevenBitText("\xE9\x41\xFF"), "XAX");
  EXPECT_EQ(SevenBitText("Müller"), "MXXller");
  EXPECT_EQ(SevenBitText(""), "");
}

// pxab trace prints the lines it hears, and a second listener is told the port is taken.
TEST(PxabTrace, PrintsEachDatagramAsOneStampedLine) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    execl(PX_PXAB, "pxab", "trace", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let it bind

  // A second listener on the same port fails clearly.
  std::FILE* second = popen(PX_PXAB " trace 2>&1", "r");
  ASSERT_NE(second, nullptr);
  char message[512] = {};
  const std::size_t n = std::fread(message, 1, sizeof message - 1, second);
  EXPECT_NE(pclose(second), 0);
  EXPECT_NE(std::string(message, n).find("already in use"), std::string::npos) << message;

  int object = 0;
  TraceObject("CABLogon::OpenEntry", &object);
  TraceText("two\nlines");
  std::string received;
  char buffer[4096];
  while (received.find("lines") == std::string::npos) {
    const ssize_t got = read(out[0], buffer, sizeof buffer);
    if (got <= 0) break;
    received.append(buffer, static_cast<std::size_t>(got));
  }
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  close(out[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::regex expected("\\d\\d:\\d\\d:\\d\\d\\.\\d{3} " + TraceAddress(&object) +
                            " : CABLogon::OpenEntry\n\\d\\d:\\d\\d:\\d\\d\\.\\d{3} two\\\\x0Alines\n");
  EXPECT_TRUE(std::regex_match(received, expected)) << received;
}

// Ctrl-C stops pxab trace at once wherever it comes, also between its check of the stop flag
// and its wait for the next datagram; no datagram comes after it here. The signals come at
// spread-out moments after the start, so that some meet the listener inside its loop.
TEST(PxabTrace, CtrlCStopsAtOnceWithoutAnotherDatagram) {
  for (int attempt = 0; attempt < 40; ++attempt) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDERR_FILENO);
      execl(PX_PXAB, "pxab", "trace", static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + 250 * attempt));
    kill(pid, SIGINT);
    int status = 0;
    pid_t done = 0;
    for (int waited = 0; waited < 200 && done == 0; ++waited) {
      done = waitpid(pid, &status, WNOHANG);
      if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (done == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    ASSERT_EQ(done, pid) << "still listening 2 s after Ctrl-C (attempt " << attempt << ")";
  }
}
