// The managed runtimes, as their vendors' pages give them. Each row names the pages it was read
// from and when it was last compared with them; a value a page does not give stays empty, and a
// runtime no page describes is left out. CONTRIBUTING.md says how to add or re-check a row.

#include "catalogue/runtimes.h"

#include <utility>

namespace plo {
namespace {

constexpr const char* kChecked = "2026-12-09";

const char* const kGlue = "https://docs.aws.amazon.com/glue/latest/dg/release-notes.html";
const char* const kGlue3 = "https://docs.aws.amazon.com/glue/latest/dg/migrating-version-30.html";
const char* const kEmrSpark =
    "https://docs.amazonaws.cn/en_us/emr/latest/ReleaseGuide/Spark-release-history.md";
const char* const kEmrApps =
    "https://docs.amazonaws.cn/en_us/emr/latest/ReleaseGuide/emr-release-app-versions-7.x.html";
const char* const kEmr615 =
    "https://docs.aws.amazon.com/emr/latest/ReleaseGuide/emr-6150-release.html";
const char* const kDataprocRuntimes =
    "https://cloud.google.com/dataproc-serverless/docs/concepts/versions/spark-runtime-versions";
const char* const kDataprocSupport =
    "https://cloud.google.com/dataproc-serverless/docs/concepts/versions/"
    "dataproc-serverless-versions";
const char* const kDataproc30 =
    "https://docs.cloud.google.com/dataproc-serverless/docs/concepts/versions/spark-runtime-3.0";
const char* const kDataproc11 =
    "https://cloud.google.com/dataproc-serverless/docs/concepts/versions/spark-runtime-1.1";
const char* const kDatabricks =
    "https://docs.databricks.com/release-notes/runtime/9.1-migration.html";
const char* const kDatabricksAll = "https://docs.azure.cn/databricks/runtime/";
const char* const kDatabricks164 = "https://docs.databricks.com/aws/release-notes/runtime/16.4lts";
const char* const kFabric = "https://learn.microsoft.com/zh-cn/fabric/data-engineering/runtime";
const char* const kFabric13 = "https://learn.microsoft.com/fabric/data-engineering/runtime-1-3";
const char* const kSynapse34 =
    "https://learn.microsoft.com/en-US/Azure/synapse-analytics/spark/apache-spark-34-runtime";
const char* const kSynapse33 =
    "https://learn.microsoft.com/en-us/AZURE/synapse-analytics/spark/apache-spark-33-runtime";

std::vector<ManagedRuntime> rows() {
  const std::vector<std::string> emr_pythons = {"3.9", "3.11"};
  return {
      // AWS Glue: "Supported runtime environment versions" and "Supported Java version".
      {"glue",
       "glue-5.1",
       "AWS Glue 5.1",
       "3.5.6",
       "",
       "2.12.18",
       {"3.11"},
       17,
       "3.3.2",
       "",
       "",
       {kGlue},
       kChecked},
      {"glue",
       "glue-5.0",
       "AWS Glue 5.0",
       "3.5.4",
       "",
       "2.12.18",
       {"3.11"},
       17,
       "3.3.0",
       "",
       "",
       {kGlue},
       kChecked},
      {"glue",
       "glue-4.0",
       "AWS Glue 4.0",
       "3.3.0",
       "",
       "",
       {"3.10"},
       8,
       "",
       "",
       "",
       {kGlue},
       kChecked},
      {"glue",
       "glue-3.0",
       "AWS Glue 3.0",
       "3.1.1",
       "",
       "",
       {"3.7"},
       8,
       "",
       "",
       "",
       {kGlue3, kGlue},
       kChecked},
      {"glue",
       "glue-2.0",
       "AWS Glue 2.0",
       "2.4",
       "",
       "",
       {"3.7"},
       8,
       "",
       "",
       "",
       {kGlue},
       kChecked},

      // Amazon EMR: Spark from the release history, the rest from the application versions.
      {"emr",
       "emr-7.13.0",
       "Amazon EMR 7.13.0",
       "3.5.6",
       "3.5.6-amzn-2",
       "2.12.18",
       emr_pythons,
       std::nullopt,
       "",
       "",
       "",
       {kEmrSpark},
       kChecked},
      {"emr",
       "emr-7.12.0",
       "Amazon EMR 7.12.0",
       "3.5.6",
       "3.5.6-amzn-1",
       "2.12.18",
       emr_pythons,
       std::nullopt,
       "3.3.2",
       "",
       "",
       {kEmrSpark, kEmrApps},
       kChecked},
      {"emr",
       "emr-7.11.0",
       "Amazon EMR 7.11.0",
       "3.5.6",
       "3.5.6-amzn-0",
       "2.12.18",
       emr_pythons,
       std::nullopt,
       "3.3.2",
       "",
       "",
       {kEmrSpark, kEmrApps},
       kChecked},
      {"emr",
       "emr-7.10.0",
       "Amazon EMR 7.10.0",
       "3.5.5",
       "3.5.5-amzn-1",
       "2.12.18",
       emr_pythons,
       std::nullopt,
       "3.3.0",
       "",
       "",
       {kEmrSpark, kEmrApps},
       kChecked},
      {"emr",
       "emr-7.9.0",
       "Amazon EMR 7.9.0",
       "3.5.5",
       "3.5.5-amzn-0",
       "2.12.18",
       emr_pythons,
       std::nullopt,
       "3.3.0",
       "",
       "",
       {kEmrSpark, kEmrApps},
       kChecked},
      {"emr",
       "emr-7.8.0",
       "Amazon EMR 7.8.0",
       "3.5.4",
       "3.5.4-amzn-0",
       "2.12.18",
       emr_pythons,
       std::nullopt,
       "3.3.0",
       "",
       "",
       {kEmrSpark, kEmrApps},
       kChecked},
      // The release page's application table does not name its Spark.
      {"emr",
       "emr-6.15.0",
       "Amazon EMR 6.15.0",
       "",
       "",
       "2.12.17",
       {"2.7", "3.7"},
       std::nullopt,
       "2.4.0",
       "",
       "",
       {kEmr615},
       kChecked},

      // Dataproc Serverless for Spark runtimes (components per runtime, dates from the support
      // table).
      {"dataproc",
       "dataproc-serverless-3.0",
       "Dataproc Serverless 3.0",
       "4.0.0",
       "",
       "2.13",
       {"3.12"},
       21,
       "",
       "",
       "",
       {kDataproc30},
       kChecked},
      {"dataproc",
       "dataproc-serverless-2.2",
       "Dataproc Serverless 2.2",
       "3.5.1",
       "",
       "2.13",
       {"3.12"},
       17,
       "",
       "2024-03-27",
       "2026-09-30",
       {kDataprocRuntimes, kDataprocSupport},
       kChecked},
      {"dataproc",
       "dataproc-serverless-1.2",
       "Dataproc Serverless 1.2",
       "3.5.1",
       "",
       "2.12",
       {"3.12"},
       17,
       "",
       "2024-03-27",
       "2026-09-30",
       {kDataprocRuntimes, kDataprocSupport},
       kChecked},
      {"dataproc",
       "dataproc-serverless-1.1",
       "Dataproc Serverless 1.1",
       "3.3.4",
       "",
       "2.12",
       {"3.10"},
       11,
       "",
       "2023-01-27",
       "2025-07-31",
       {kDataproc11, kDataprocSupport},
       kChecked},

      // Databricks: the release notes' table of supported runtimes.
      {"databricks",
       "databricks-18.0",
       "Databricks 18.0",
       "4.1.0",
       "",
       "",
       {},
       std::nullopt,
       "",
       "2025-12-09",
       "2026-06-09",
       {kDatabricksAll},
       kChecked},
      {"databricks",
       "databricks-17.3-lts",
       "Databricks 17.3 LTS",
       "4.0.0",
       "",
       "2.13",
       {},
       std::nullopt,
       "",
       "2025-10-22",
       "2028-10-22",
       {kDatabricks, kDatabricks164},
       kChecked},
      {"databricks",
       "databricks-16.4-lts",
       "Databricks 16.4 LTS",
       "3.5.2",
       "",
       "2.12, 2.13",
       {},
       std::nullopt,
       "",
       "2025-05-09",
       "2028-05-09",
       {kDatabricks164, kDatabricks},
       kChecked},
      {"databricks",
       "databricks-15.4-lts",
       "Databricks 15.4 LTS",
       "3.5.0",
       "",
       "",
       {},
       std::nullopt,
       "",
       "2024-08-19",
       "2027-08-19",
       {kDatabricks},
       kChecked},
      {"databricks",
       "databricks-14.3-lts",
       "Databricks 14.3 LTS",
       "3.5.0",
       "",
       "",
       {},
       std::nullopt,
       "",
       "2024-02-01",
       "2027-02-01",
       {kDatabricks},
       kChecked},
      {"databricks",
       "databricks-13.3-lts",
       "Databricks 13.3 LTS",
       "3.4.1",
       "",
       "",
       {},
       std::nullopt,
       "",
       "2023-08-22",
       "2026-08-22",
       {kDatabricks},
       kChecked},
      {"databricks",
       "databricks-12.2-lts",
       "Databricks 12.2 LTS",
       "3.3.2",
       "",
       "",
       {},
       std::nullopt,
       "",
       "2023-03-01",
       "2026-03-01",
       {kDatabricks},
       kChecked},

      // Microsoft Fabric: the runtimes' comparison of components.
      {"fabric",
       "fabric-2.0",
       "Microsoft Fabric 2.0",
       "4.0.0",
       "",
       "2.13.16",
       {"3.12"},
       21,
       "4.0.0",
       "",
       "",
       {kFabric},
       kChecked},
      {"fabric",
       "fabric-1.3",
       "Microsoft Fabric 1.3",
       "3.5.5",
       "",
       "2.12.17",
       {"3.11"},
       11,
       "3.2",
       "",
       "",
       {kFabric, kFabric13},
       kChecked},
      {"fabric",
       "fabric-1.2",
       "Microsoft Fabric 1.2",
       "3.4.1",
       "",
       "2.12.17",
       {"3.10"},
       11,
       "2.4.0",
       "",
       "",
       {kFabric},
       kChecked},

      // Azure Synapse: each runtime's component versions.
      {"synapse",
       "synapse-3.4",
       "Azure Synapse 3.4",
       "3.4.1",
       "",
       "2.12.17",
       {"3.10"},
       11,
       "2.4.0",
       "",
       "",
       {kSynapse34},
       kChecked},
      {"synapse",
       "synapse-3.3",
       "Azure Synapse 3.3",
       "3.3.1",
       "",
       "2.12.15",
       {"3.10"},
       8,
       "2.2.0",
       "",
       "",
       {kSynapse33},
       kChecked},
  };
}

}  // namespace

const std::vector<ManagedRuntime>& managed_runtimes() {
  static const std::vector<ManagedRuntime> table = rows();
  return table;
}

const std::vector<std::string>& runtime_platforms() {
  static const std::vector<std::string> platforms = {"glue",       "emr",    "dataproc",
                                                     "databricks", "fabric", "synapse"};
  return platforms;
}

std::string platform_title(std::string_view platform) {
  static const std::pair<const char*, const char*> kTitles[] = {{"glue", "AWS Glue"},
                                                                {"emr", "Amazon EMR"},
                                                                {"dataproc", "Dataproc Serverless"},
                                                                {"databricks", "Databricks"},
                                                                {"fabric", "Microsoft Fabric"},
                                                                {"synapse", "Azure Synapse"}};
  for (const auto& [name, title] : kTitles) {
    if (platform == name) return title;
  }
  return std::string(platform);
}

std::optional<std::string> databricks_major_spark(int major) {
  // Every release of these majors ships the same Spark line (Databricks' runtime table).
  switch (major) {
    case 17:
      return "4.0.0";
    case 18:
      return "4.1.0";
    case 19:
      return "4.2.0";
    default:
      return std::nullopt;
  }
}

}  // namespace plo
