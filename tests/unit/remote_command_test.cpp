#include "app/remote_command.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace orvamy {
namespace {

using Maybe = std::optional<RemoteCommand>;

TEST(RemoteCommand, OptionsAndLinesAreReadExactly) {
  const struct {
    const char* text;
    Maybe as_option;
    Maybe as_line;
  } cases[] = {
      {"--start", RemoteCommand::kStart, std::nullopt},
      {"--stop", RemoteCommand::kStop, std::nullopt},
      {"--toggle", RemoteCommand::kToggle, std::nullopt},
      {"start", std::nullopt, RemoteCommand::kStart},
      {"stop\n", std::nullopt, RemoteCommand::kStop},
      {"toggle\r\n", std::nullopt, RemoteCommand::kToggle},
      {"-start", std::nullopt, std::nullopt},
      {"--Start", std::nullopt, std::nullopt},
      {"--start=1", std::nullopt, std::nullopt},
      {"start now", std::nullopt, std::nullopt},
      {" stop", std::nullopt, std::nullopt},
      {"stop\n\n", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
      {"--", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(RemoteCommandFromOption(c.text), c.as_option);
    EXPECT_EQ(ParseRemoteCommandLine(c.text), c.as_line);
  }
  for (const auto command : {RemoteCommand::kStart, RemoteCommand::kStop, RemoteCommand::kToggle}) {
    EXPECT_EQ(ParseRemoteCommandLine(RemoteCommandWord(command)), command);
    EXPECT_EQ(RemoteCommandFromOption("--" + std::string(RemoteCommandWord(command))), command);
  }
}

}  // namespace
}  // namespace orvamy
