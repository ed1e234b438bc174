#include <gtest/gtest.h>

#include "catalogue_meaning.h"
#include "spark/install_plan.h"

namespace plo {
namespace {

using testing::newest;

// A venv whose site folder holds a pip-installed PySpark, the newest 3.5.
EnvironmentProbe regular() {
  EnvironmentProbe found;
  found.has_pip = true;
  found.in_virtual_env = true;
  found.package = "/venv/lib/site/pyspark";
  found.origin = EnvironmentProbe::Origin::Site;
  found.dist_info = "/venv/lib/site/pyspark-" + newest("3.5") + ".dist-info";
  found.dist_version = newest("3.5");
  found.install_to = "/venv/lib/site";
  return found;
}

TEST(InstallRefusal, RefusesWhatPlanCannotOwnWithTheCommandThatMendsIt) {
  struct Case {
    const char* name;
    void (*change)(EnvironmentProbe&);
    std::string reason;  // empty: no refusal
    std::string first_mend;
  } cases[] = {
      {"regular", [](EnvironmentProbe&) {}, "", ""},
      {"editable",
       [](EnvironmentProbe& f) {
         f.package = "/home/u/src/spark/python/pyspark";
         f.dist_info.reset();
         f.editable = "file:///home/u/src/spark/python";
       },
       "PySpark " + newest("3.5") +
           " in /home/u/src/spark/python is an editable install (pip install -e): plo "
           "does not replace a source folder",
       "Run '/venv/bin/python -m pip uninstall pyspark' first (your source folder stays), then "
       "run 'plo spark set-version' again"},
      {"no dist-info", [](EnvironmentProbe& f) { f.dist_info.reset(); },
       "PySpark " + newest("3.5") +
           " in /venv/lib/site/pyspark was not installed by pip (it has no dist-info): "
           "pip cannot replace it",
       "Remove that folder, or use another Python environment"},
      {"PYTHONPATH", [](EnvironmentProbe& f) { f.origin = EnvironmentProbe::Origin::PythonPath; },
       "PySpark " + newest("3.5") +
           " comes from /venv/lib/site, which PYTHONPATH names: pip cannot replace it",
       "Remove that entry from PYTHONPATH first, then run 'plo spark set-version' again"},
      {"user site ahead of the venv",
       [](EnvironmentProbe& f) {
         f.user_site = "/home/u/.local/lib/site";
         f.base_python = "/usr/bin/python3";
         f.shadowing_folders = {"/home/u/.local/lib/site"};
       },
       "PySpark in /home/u/.local/lib/site comes before /venv/lib/site on the import path: what "
       "pip installs there would not be imported",
       "Remove that copy first, then run 'plo spark set-version' again:"},
      {".pth folder ahead", [](EnvironmentProbe& f) { f.shadowing_folders = {"/opt/spark/py"}; },
       "PySpark in /opt/spark/py comes before /venv/lib/site on the import path: what pip "
       "installs there would not be imported",
       "Remove that copy first, then run 'plo spark set-version' again:"},
  };
  for (const auto& c : cases) {
    EnvironmentProbe found = regular();
    c.change(found);
    const auto refusal = install_refusal(found, "/venv/bin/python", newest("3.5"));
    if (c.reason.empty()) {
      EXPECT_FALSE(refusal) << c.name;
      continue;
    }
    ASSERT_TRUE(refusal) << c.name;
    EXPECT_EQ(refusal->reason, c.reason) << c.name;
    ASSERT_FALSE(refusal->mend.empty()) << c.name;
    EXPECT_EQ(refusal->mend.front(), c.first_mend) << c.name;
  }
}

TEST(InstallRefusal, AUserSiteCopyIsRemovedByTheInterpreterThatOwnsIt) {
  EnvironmentProbe found = regular();
  found.user_site = "/home/u/.local/lib/site";
  found.base_python = "/usr/bin/python3";
  found.shadowing_folders = {"/home/u/.local/lib/site"};
  auto refusal = install_refusal(found, "/venv/bin/python", std::nullopt);
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->mend.back(),
            "  /usr/bin/python3 -m pip uninstall pyspark   (outside the virtual environment, "
            "whose user site it is)");
  found.in_virtual_env = false;
  refusal = install_refusal(found, "/usr/bin/python3", std::nullopt);
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->mend.back(), "  /usr/bin/python3 -m pip uninstall pyspark");
}

}  // namespace
}  // namespace plo
