#include "common/options.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/cpu.hpp"
#include "common/standard_streams.hpp"

bool answerCommonOptions(int argc, char** argv, const char* name, const char* help, int& status) {
  const char* first = argc > 1 ? argv[1] : "";
  if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
    std::string text = help;
    static constexpr std::string_view kIsas = "{isas}";
    if (const auto at = text.find(kIsas); at != std::string::npos) {
      text.replace(at, kIsas.size(), builtIsaNames('|'));
    }
    std::fputs(text.c_str(), stdout);
    status = finishStandardOutput();
    return true;
  }
  const std::string unusable = useRequestedIsa(std::getenv(kIsaVariable));
  if (!unusable.empty()) {
    std::fputs(unusable.c_str(), stderr);
    status = 1;
    return true;
  }
  if (std::strcmp(first, "--version") == 0) {
    std::printf("%s (edgestar) %s\n%s\n", name, EDGESTAR_VERSION, kernelsLine().c_str());
    status = finishStandardOutput();
    return true;
  }
  return false;
}

int finishStandardOutput() {
  const std::string failure = flushStandardOutput();
  if (failure.empty()) return 0;
  std::fputs(failure.c_str(), stderr);
  return 1;
}
