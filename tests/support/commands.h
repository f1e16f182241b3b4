// Shell commands of the test programs that drive desktop tools (Xvfb, xdotool, ImageMagick).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace test_support {

// Whether a command of that name is on the path.
inline bool Have(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Everything a shell command writes on standard output.
inline std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[65536];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

}  // namespace test_support
