#include <gtest/gtest.h>

#include <cstdlib>

#include "console/color.h"
#include "console/quiet_console.h"
#include "fakes.h"
#include "util/suggest.h"

namespace plo::testing {
namespace {

TEST(EditDistance, CountsEachKindOfEdit) {
  const struct {
    std::string_view a, b;
    size_t distance;
  } cases[] = {
      {"spark", "spark", 0}, {"sprak", "spark", 1}, {"chek", "check", 1},
      {"prdo", "prod", 1},   {"", "java", 4},       {"jav", "java", 1},
      {"compute", "c", 6},   {"abc", "cba", 2},     {"set-verison", "set-version", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(edit_distance(c.a, c.b), c.distance) << c.a << " " << c.b;
    EXPECT_EQ(edit_distance(c.b, c.a), c.distance) << c.b << " " << c.a;
  }
}

TEST(ClosestWord, OnlyCloseWordsAreSuggested) {
  const std::vector<std::string> commands = {"spark", "java", "compute", "completion", "help"};
  EXPECT_EQ(closest_word("sprak", commands), "spark");
  EXPECT_EQ(closest_word("comptue", commands), "compute");
  EXPECT_EQ(closest_word("jaav", commands), "java");
  EXPECT_EQ(closest_word("x", commands), std::nullopt);
  EXPECT_EQ(closest_word("-5", {"-v", "-q"}), std::nullopt);
  EXPECT_EQ(closest_word("doctor", commands), std::nullopt);
  EXPECT_EQ(closest_word("spark", commands), std::nullopt);  // known: nothing to suggest
  EXPECT_EQ(closest_word(std::string(100000, 'a'), commands), std::nullopt);
}

TEST(ColorWanted, TheFlagBeatsTheEnvironment) {
  const struct {
    ColorChoice choice;
    const char* no_color;
    const char* force_color;
    bool terminal, wanted;
  } cases[] = {
      {ColorChoice::Never, nullptr, "1", true, false},
      {ColorChoice::Always, "1", nullptr, false, true},
      {ColorChoice::Auto, "1", "1", true, false},
      {ColorChoice::Auto, nullptr, "1", false, true},
      {ColorChoice::Auto, nullptr, "0", false, false},
      {ColorChoice::Auto, nullptr, nullptr, true, true},
  };
  for (const auto& c : cases) {
    const auto set = [](const char* name, const char* value) {
      value ? ::setenv(name, value, 1) : ::unsetenv(name);
    };
    set("NO_COLOR", c.no_color);
    set("FORCE_COLOR", c.force_color);
    ::unsetenv("CLICOLOR_FORCE");
    ::setenv("TERM", "xterm", 1);
    EXPECT_EQ(color_wanted(c.choice, c.terminal), c.wanted)
        << static_cast<int>(c.choice) << " " << (c.no_color ? c.no_color : "-") << " "
        << (c.force_color ? c.force_color : "-");
  }
  ::unsetenv("NO_COLOR");
  ::unsetenv("FORCE_COLOR");
}

TEST(QuietConsole, PassesErrorLinesAndQuestionsWithWhatLedToThem) {
  FakeConsole terminal;
  terminal.answers = {"y"};
  QuietConsole quiet(terminal);
  quiet.echo();
  quiet.echo(quiet.style("PySpark Status", Color::Cyan, true));
  quiet.echo("  Version:       3.5.1");
  quiet.echo(quiet.style("Installation failed", Color::Red));
  quiet.echo("  " + quiet.style("x", Color::Red) + " after a red part");
  quiet.echo(quiet.style("Warning: needs Java 17", Color::Yellow));
  EXPECT_TRUE(quiet.confirm("Install anyway?", false));
  quiet.echo(quiet.style("Successfully installed", Color::Green));
  EXPECT_EQ(terminal.lines, (std::vector<std::string>{"<red>Installation failed</red>",
                                                      "  <red>x</red> after a red part",
                                                      "<yellow>Warning: needs Java 17</yellow>"}));
  EXPECT_EQ(terminal.questions.size(), 1u);
}

}  // namespace
}  // namespace plo::testing
