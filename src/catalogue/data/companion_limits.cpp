#include "catalogue/companions.h"

namespace plo {

// Fits that no metadata states: each row names where it is documented. A row's `companion` and
// `pyspark` are PEP 440 specifier sets; the verdict is "does not fit" where both hold.
const std::vector<KnownLimit> COMPANION_LIMITS = {
    {"pandas", ">=2", "<3.4", "pandas<2",
     "pandas 2 removed DataFrame.iteritems, which createDataFrame from a pandas DataFrame calls in "
     "PySpark 3.3 and older ('DataFrame' object has no attribute 'iteritems'; SPARK-42593, fixed "
     "in 3.4.0)",
     "https://issues.apache.org/jira/browse/SPARK-42593"},
    {"numpy", ">=2", "<4.0", "numpy<2",
     "PySpark before 4.0 references code that NumPy 2.0 removed (pyspark.ml, pandas conversion); "
     "3.4.4 and 3.5.2 and newer declare numpy<2, older releases break at run time (SPARK-48710)",
     "https://issues.apache.org/jira/browse/SPARK-48710"},
};

// Delta Lake's "Compatibility with Apache Spark" table, newest first. Newer Delta lines: read
// delta-spark's own Requires-Dist on the index.
const std::vector<DeltaLine> DELTA_SPARK_LINES = {
    {"==4.0.*", "4.0"},    {">=3.0,<3.4", "3.5"}, {"==2.4.*", "3.4"},    {">=2.1,<2.4", "3.3"},
    {">=1.1,<2.1", "3.2"}, {"==1.0.*", "3.1"},    {">=0.7,<0.9", "3.0"},
};
const std::string_view kDeltaLinesSource =
    "https://docs.delta.io/latest/releases.html (Compatibility with Apache Spark)";

}  // namespace plo
