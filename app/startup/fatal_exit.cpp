#include "app/startup/fatal_exit.h"

#include <cstdlib>
#include <string>

#include "platform/message_box.h"
#include "platform/module.h"

namespace {

std::string ProgramTitle() {
  std::string path = qv::ExecutablePath();
  size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

void FatalAppExit(std::string_view text) {
  qv::MessageBox(text, ProgramTitle(), qv::kMbOk);
  std::_Exit(kFatalExitStatus);
}
