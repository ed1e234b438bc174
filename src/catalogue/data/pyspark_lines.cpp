// The PySpark lines plo offers: each line's newest patch, the Java it runs on and the Python it
// supports. CONTRIBUTING.md says how to add a patch or a line and where to check it.

#include "catalogue/python_support.h"
#include "catalogue/versions.h"

namespace plo {

const CompatTable PYSPARK_JAVA_COMPATIBILITY = {
    {"2.4", {{8}, 8}},           {"3.0", {{8, 11}, 11}},      {"3.1", {{8, 11}, 11}},
    {"3.2", {{8, 11}, 11}},      {"3.3", {{8, 11, 17}, 17}},  {"3.4", {{8, 11, 17}, 17}},
    {"3.5", {{8, 11, 17}, 17}},  {"4.0", {{17, 21}, 17}},     {"4.1", {{17, 21}, 17}},
    {"4.2", {{17, 21, 25}, 21}}, {"4.3", {{17, 21, 25}, 21}},
};

const std::vector<VersionEntry> PYSPARK_VERSIONS = {
    {"4.3.0", "4.3", "latest"}, {"4.2.0", "4.2", ""}, {"4.1.3", "4.1", ""}, {"4.0.4", "4.0", ""},
    {"3.5.9", "3.5", "stable"}, {"3.4.4", "3.4", ""}, {"3.3.4", "3.3", ""},
};

// From each line's newest release: python_requires (2.4 and 3.0 have none: their lowest classifier)
// and the newest "Programming Language :: Python :: 3.x" classifier of python/setup.py.
const PythonTable PYSPARK_PYTHON_SUPPORT = {
    {"2.4", {"2.7", "3.7"}},   {"3.0", {"2.7", "3.9"}},   {"3.1", {"3.6", "3.9"}},
    {"3.2", {"3.6", "3.9"}},   {"3.3", {"3.7", "3.10"}},  {"3.4", {"3.7", "3.11"}},
    {"3.5", {"3.8", "3.11"}},  {"4.0", {"3.9", "3.13"}},  {"4.1", {"3.10", "3.14"}},
    {"4.2", {"3.10", "3.14"}}, {"4.3", {"3.11", "3.14"}},
};

}  // namespace plo
