#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "environment/interpreter.h"

namespace plo {
namespace {

namespace fs = std::filesystem;

// `root`'s placeholder "@" replaced by the tree's folder.
std::string rooted(const std::string& text, const fs::path& root) {
  std::string out;
  for (char ch : text) out += ch == '@' ? root.string() : std::string(1, ch);
  return out;
}

void write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

// A virtual environment at `folder`: pyvenv.cfg and an executable bin/python.
void make_venv(const fs::path& folder) {
  write(folder / "pyvenv.cfg", "home = /usr/bin\n");
  write(folder / "bin/python", "#!/bin/sh\n");
  ::chmod((folder / "bin/python").c_str(), 0755);
}

constexpr auto kWorkspace =
    "[tool.uv.workspace]\nmembers = [\"packages/*\"]\nexclude = "
    "[\"packages/loner\"]\n";

TEST(ChooseInterpreter, FollowsUvPipsOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> venvs;            // folders holding an environment
    std::map<std::string, std::string> files;  // other files and their text
    std::map<std::string, std::string> env;    // variables ("@" is the tree)
    std::string cwd;                           // relative to the tree
    std::string python;                        // expected ("@" is the tree)
    std::string source;
  };
  const std::vector<Case> cases = {
      {"PLO_PYTHON first",
       {"active", "proj/.venv", "sys"},
       {{"proj/pyproject.toml", ""}},
       {{"PLO_PYTHON", "@/active/bin/python"}, {"VIRTUAL_ENV", "@/proj/.venv"}},
       "proj",
       "@/active/bin/python",
       "PLO_PYTHON"},
      {"active venv before the project's",
       {"active", "proj/.venv"},
       {{"proj/pyproject.toml", ""}},
       {{"VIRTUAL_ENV", "@/active"}},
       "proj",
       "@/active/bin/python",
       "VIRTUAL_ENV"},
      {"conda before the project's",
       {"conda", "proj/.venv"},
       {{"proj/pyproject.toml", ""}},
       {{"CONDA_PREFIX", "@/conda"}},
       "proj",
       "@/conda/bin/python",
       "CONDA_PREFIX"},
      {"a stale VIRTUAL_ENV is passed over",
       {"proj/.venv"},
       {{"proj/pyproject.toml", ""}},
       {{"VIRTUAL_ENV", "@/gone"}},
       "proj",
       "@/proj/.venv/bin/python",
       "project .venv (@/proj/pyproject.toml)"},
      {"project .venv from a subfolder",
       {"proj/.venv"},
       {{"proj/pyproject.toml", ""}, {"proj/src/pkg/x.py", ""}},
       {},
       "proj/src/pkg",
       "@/proj/.venv/bin/python",
       "project .venv (@/proj/pyproject.toml)"},
      {"workspace member uses the root's",
       {"ws/.venv", "ws/packages/a/.venv"},
       {{"ws/pyproject.toml", kWorkspace}, {"ws/packages/a/pyproject.toml", ""}},
       {},
       "ws/packages/a",
       "@/ws/.venv/bin/python",
       "project .venv (@/ws/pyproject.toml)"},
      {"excluded member is its own project",
       {"ws/.venv", "ws/packages/loner/.venv"},
       {{"ws/pyproject.toml", kWorkspace}, {"ws/packages/loner/pyproject.toml", ""}},
       {},
       "ws/packages/loner",
       "@/ws/packages/loner/.venv/bin/python",
       "project .venv (@/ws/packages/loner/pyproject.toml)"},
      {"UV_PROJECT_ENVIRONMENT relative to the workspace root",
       {"ws/envs/dev"},
       {{"ws/pyproject.toml", kWorkspace}, {"ws/packages/a/pyproject.toml", ""}},
       {{"UV_PROJECT_ENVIRONMENT", "envs/dev"}},
       "ws/packages/a",
       "@/ws/envs/dev/bin/python",
       "UV_PROJECT_ENVIRONMENT"},
      {"UV_PROJECT_ENVIRONMENT absolute",
       {"elsewhere", "proj/.venv"},
       {{"proj/pyproject.toml", ""}},
       {{"UV_PROJECT_ENVIRONMENT", "@/elsewhere"}},
       "proj",
       "@/elsewhere/bin/python",
       "UV_PROJECT_ENVIRONMENT"},
      {"a .venv above without a project",
       {"work/.venv"},
       {{"work/data/x.csv", ""}},
       {},
       "work/data",
       "@/work/.venv/bin/python",
       ".venv (@/work/.venv)"},
      {"no environment, then PATH",
       {"sys"},
       {{"proj/pyproject.toml", ""}},
       {{"PATH", "@/nothing:@/sys/bin"}},
       "proj",
       "@/sys/bin/python",
       "PATH"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path root = fs::path(testing::TempDir()) / "plo-choose" / c.name;
    fs::remove_all(root);
    fs::create_directories(root / c.cwd);
    // No .git or pyproject.toml above the tree may change the answer: a folder of its own.
    for (const std::string& venv : c.venvs) make_venv(root / venv);
    if (c.source == "PATH") fs::rename(root / "sys/bin/python", root / "sys/bin/python3");
    for (const auto& [file, text] : c.files) write(root / file, text);
    std::map<std::string, std::string> env;
    for (const auto& [name, value] : c.env) env[name] = rooted(value, root);
    if (!env.count("PATH")) env["PATH"] = (root / "nothing").string();
    InterpreterChoice chosen;
    ASSERT_NO_THROW(
        chosen = choose_interpreter({.env = [&env](const char* name) -> std::optional<std::string> {
                                       const auto found = env.find(name);
                                       if (found == env.end()) return std::nullopt;
                                       return found->second;
                                     },
                                     .cwd = root / c.cwd}));
    const std::string python =
        c.source == "PATH" ? rooted("@/sys/bin/python3", root) : rooted(c.python, root);
    EXPECT_EQ(chosen.path, python) << c.name;
    EXPECT_EQ(chosen.source, rooted(c.source, root)) << c.name;
  }
}

}  // namespace
}  // namespace plo
