#include "platform/module.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <string>

namespace qv {

namespace {
std::mutex g_argMutex;
std::string g_arg0;
bool g_argSet = false;
}  // namespace

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string ExecutableDirectory() {
  std::string path = ExecutablePath();
  size_t cut = path.rfind('/');
  if (cut == std::string::npos) return {};
  return cut == 0 ? std::string("/") : path.substr(0, cut);
}

void SetCommandLine(int argc, char** argv) {
  std::lock_guard<std::mutex> lock(g_argMutex);
  g_arg0 = argc > 0 && argv[0] ? argv[0] : "";
  g_argSet = true;
}

std::string CommandLineArg0() {
  {
    std::lock_guard<std::mutex> lock(g_argMutex);
    if (g_argSet) return g_arg0;
  }
  FILE* f = std::fopen("/proc/self/cmdline", "rb");
  if (!f) return {};
  std::string arg;
  int c;
  while ((c = std::fgetc(f)) != EOF && c != 0) arg.push_back(static_cast<char>(c));
  std::fclose(f);
  return arg;
}

std::string UserConfigFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config == '/') return std::string(config) + "/quorvin";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/quorvin";
}

bool IsPrivateFolder(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return false;  // a link or not a folder
  if (st.st_uid != geteuid()) return false;
  return (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

namespace {

std::string WithSlash(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p + "/";
}

}  // namespace

std::string UserTempFolder() {
  for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(var);
    if (value && *value == '/' && IsPrivateFolder(value)) return WithSlash(value);
  }
  // TMPDIR may name a shared folder such as /tmp: make our own inside it.
  const char* base = std::getenv("TMPDIR");
  std::string parent = base && *base == '/' ? base : "/tmp";
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  std::string own = parent + "/quorvin-" + std::to_string(geteuid());
  if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return {};
  if (!IsPrivateFolder(own)) return {};
  return own + "/";
}

}  // namespace qv
