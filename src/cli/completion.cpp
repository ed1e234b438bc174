#include "completion.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <set>

#include "catalogue/runtimes.h"
#include "catalogue/versions.h"
#include "process/posix_runner.h"
#include "registry/compute_registry.h"

namespace plo {
namespace {

// The scripts call back into the plo being completed (the command word as typed) for the words
// that depend on the machine; those words are never evaluated by the shell.

constexpr std::string_view kBash = R"SH(# bash completion for plo
_plo_offer() {
  local w
  for w; do
    [[ $w == "$cur"* ]] && COMPREPLY+=("$w")
  done
}
_plo_offer_from() {
  local w
  while IFS= read -r w; do
    if [[ $w == "$cur"* ]]; then
      printf -v w '%q' "$w"
      COMPREPLY+=("$w")
    fi
  done < <("$plo" __complete "$1" 2>/dev/null)
}
_plo() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local plo=${COMP_WORDS[0]} group=${COMP_WORDS[1]} sub=${COMP_WORDS[2]}
  local i w args=0
  COMPREPLY=()
  # Count the positional words after the subcommand, leaving out options and their values.
  for ((i = 3; i < COMP_CWORD; i++)); do
    w=${COMP_WORDS[i]}
    case $w in
      --master|--host|--type|--cluster-id|--runtime|--platform|--shell) ((i++)) ;;
      -*) ;;
      *) ((args++)) ;;
    esac
  done
  if ((COMP_CWORD == 1)); then
    _plo_offer spark java compute doctor sync pin runtimes completion help --help --version
    return
  fi
  case "$group $prev" in
    "pin --pyspark") _plo_offer_from versions; return ;;
    "pin --compute") _plo_offer_from computes; return ;;
    "pin --java") _plo_offer_from java-majors; return ;;
    "pin --runtime") _plo_offer_from runtimes; return ;;
  esac
  case $group in
    sync) _plo_offer --yes --dry-run --json --keep-companions --no-project --help; return ;;
    pin) _plo_offer --pyspark --java --compute --runtime --help; return ;;
  esac
  if ((COMP_CWORD == 2)); then
    case $group in
      spark) _plo_offer check versions set-version match-cluster --help ;;
      java) _plo_offer search list set unset env install uninstall --help ;;
      compute) _plo_offer list test add remove --help ;;
      runtimes) _plo_offer show use --platform --json --help ;;
      doctor) _plo_offer --json --clusters --deep --help ;;
      completion) _plo_offer bash zsh fish ;;
    esac
    return
  fi
  if [[ $group == doctor ]]; then
    _plo_offer --json --clusters --deep --help
    return
  fi
  case $prev in
    --shell) _plo_offer bash zsh fish; return ;;
    --type) _plo_offer spark databricks glue emr dataproc fabric synapse; return ;;
    --runtime) _plo_offer_from runtimes; return ;;
    --platform) _plo_offer glue emr dataproc databricks fabric synapse; return ;;
    --master|--host|--cluster-id) return ;;
  esac
  case "$group $sub" in
    "spark check"|"spark versions"|"java search"|"java list"|"compute list") _plo_offer --json ;;
    "spark set-version")
      _plo_offer --yes --json --system --keep-companions --no-project
      ((args == 0)) && _plo_offer_from versions ;;
    "spark match-cluster")
      _plo_offer --json --install --yes --keep-companions --no-project
      ((args == 0)) && _plo_offer_from computes ;;
    "java set")
      _plo_offer --yes
      if ((args == 0)); then
        _plo_offer_from java-majors
        compopt -o filenames 2>/dev/null
        COMPREPLY+=($(compgen -d -- "$cur"))
      fi ;;
    "java env") _plo_offer --shell ;;
    "java install") _plo_offer --set --yes --json --guide ;;
    "java uninstall") _plo_offer --yes ;;
    "compute test")
      _plo_offer --json
      ((args == 0)) && _plo_offer_from computes ;;
    "compute remove") ((args == 0)) && _plo_offer_from computes ;;
    "compute add") _plo_offer --master --host --type --cluster-id --runtime ;;
    "runtimes show")
      _plo_offer --json
      ((args == 0)) && _plo_offer_from runtimes ;;
    "runtimes use")
      _plo_offer --yes
      ((args == 0)) && _plo_offer_from runtimes ;;
    runtimes\ -*) _plo_offer --platform --json ;;
  esac
  _plo_offer --help
}
complete -F _plo plo
)SH";

constexpr std::string_view kZsh = R"SH(#compdef plo
# zsh completion for plo
_plo_dynamic() {
  local -a items
  items=(${(f)"$(${words[1]} __complete $1 2>/dev/null)"})
  compadd -a items
}
_plo() {
  local i w args=0 group=${words[2]} sub=${words[3]}
  # Count the positional words after the subcommand, leaving out options and their values.
  for ((i = 4; i < CURRENT; i++)); do
    w=${words[i]}
    case $w in
      --master|--host|--type|--cluster-id|--runtime|--platform|--shell) ((i++)) ;;
      -*) ;;
      *) ((args++)) ;;
    esac
  done
  if ((CURRENT == 2)); then
    compadd -- spark java compute doctor sync pin runtimes completion help --help --version
    return
  fi
  case "$group ${words[CURRENT-1]}" in
    "pin --pyspark") _plo_dynamic versions; return ;;
    "pin --compute") _plo_dynamic computes; return ;;
    "pin --java") _plo_dynamic java-majors; return ;;
    "pin --runtime") _plo_dynamic runtimes; return ;;
  esac
  case $group in
    sync) compadd -- --yes --dry-run --json --keep-companions --no-project --help; return ;;
    pin) compadd -- --pyspark --java --compute --runtime --help; return ;;
  esac
  if ((CURRENT == 3)); then
    case $group in
      spark) compadd -- check versions set-version match-cluster --help ;;
      java) compadd -- search list set unset env install uninstall --help ;;
      compute) compadd -- list test add remove --help ;;
      runtimes) compadd -- show use --platform --json --help ;;
      doctor) compadd -- --json --clusters --deep --help ;;
      completion) compadd -- bash zsh fish ;;
    esac
    return
  fi
  if [[ $group == doctor ]]; then
    compadd -- --json --clusters --deep --help
    return
  fi
  case ${words[CURRENT-1]} in
    --shell) compadd -- bash zsh fish; return ;;
    --type) compadd -- spark databricks glue emr dataproc fabric synapse; return ;;
    --runtime) _plo_dynamic runtimes; return ;;
    --platform) compadd -- glue emr dataproc databricks fabric synapse; return ;;
    --master|--host|--cluster-id) return ;;
  esac
  case "$group $sub" in
    "spark check"|"spark versions"|"java search"|"java list"|"compute list") compadd -- --json ;;
    "spark set-version")
      compadd -- --yes --json --system --keep-companions --no-project
      ((args == 0)) && _plo_dynamic versions ;;
    "spark match-cluster")
      compadd -- --json --install --yes --keep-companions --no-project
      ((args == 0)) && _plo_dynamic computes ;;
    "java set")
      compadd -- --yes
      if ((args == 0)); then
        _plo_dynamic java-majors
        _files -/
      fi ;;
    "java env") compadd -- --shell ;;
    "java install") compadd -- --set --yes --json --guide ;;
    "java uninstall") compadd -- --yes ;;
    "compute test")
      compadd -- --json
      ((args == 0)) && _plo_dynamic computes ;;
    "compute remove") ((args == 0)) && _plo_dynamic computes ;;
    "compute add") compadd -- --master --host --type --cluster-id --runtime ;;
    "runtimes show")
      compadd -- --json
      ((args == 0)) && _plo_dynamic runtimes ;;
    "runtimes use")
      compadd -- --yes
      ((args == 0)) && _plo_dynamic runtimes ;;
  esac
  compadd -- --help
}
if [[ $zsh_eval_context[-1] == loadautofunc ]]; then
  _plo "$@"
else
  compdef _plo plo
fi
)SH";

constexpr std::string_view kFish = R"SH(# fish completion for plo
function __plo_at -a group sub
    set -l w (commandline -opc)
    test (count $w) -ge 3; and test "$w[2]" = "$group"; and test "$w[3]" = "$sub"
end
function __plo_group -a group
    set -l w (commandline -opc)
    test (count $w) -eq 2; and test "$w[2]" = "$group"
end
# True while no positional word follows the subcommand (options and their values left out).
function __plo_no_arg
    set -l w (commandline -opc)
    test (count $w) -gt 3; or return 0
    set -l skip 0
    for x in $w[4..-1]
        if test $skip = 1
            set skip 0
            continue
        end
        switch $x
            case --master --host --type --cluster-id --runtime --platform --shell
                set skip 1
            case '-*'
            case '*'
                return 1
        end
    end
    return 0
end
function __plo_top -a command
    set -l w (commandline -opc)
    test (count $w) -ge 2; and test "$w[2]" = "$command"
end
function __plo_words -a kind
    set -l w (commandline -opc)
    command -q -- $w[1]; or return 0
    $w[1] __complete $kind 2>/dev/null
end
complete -c plo -f
complete -c plo -n __fish_use_subcommand -a 'spark java compute doctor sync pin runtimes completion help'
complete -c plo -n __fish_use_subcommand -l help -l version
complete -c plo -n '__plo_group spark' -a 'check versions set-version match-cluster'
complete -c plo -n '__plo_group java' -a 'search list set unset env install uninstall'
complete -c plo -n '__plo_group compute' -a 'list test add remove'
complete -c plo -n '__plo_group completion' -a 'bash zsh fish'
complete -c plo -n '__plo_group runtimes' -a 'show use'
complete -c plo -n '__plo_group runtimes' -l json
complete -c plo -n '__plo_group runtimes' -l platform -x -a 'glue emr dataproc databricks fabric synapse'
complete -c plo -n '__plo_at runtimes show' -l json
complete -c plo -n '__plo_at runtimes use' -l yes
complete -c plo -n '__plo_at runtimes show; or __plo_at runtimes use' -a '(__plo_words runtimes)'
complete -c plo -n '__fish_seen_subcommand_from doctor' -l json -l clusters -l deep
complete -c plo -n '__plo_at spark check; or __plo_at spark versions' -l json
complete -c plo -n '__plo_at spark set-version' -l yes -l json -l system -l keep-companions -l no-project
complete -c plo -n '__plo_at spark set-version; and __plo_no_arg' -a '(__plo_words versions)'
complete -c plo -n '__plo_at spark match-cluster' -l json -l install -l yes -l keep-companions -l no-project
complete -c plo -n '__plo_at spark match-cluster; and __plo_no_arg' -a '(__plo_words computes)'
complete -c plo -n '__plo_at java search; or __plo_at java list' -l json
complete -c plo -n '__plo_at java set' -l yes
complete -c plo -n '__plo_at java set; and __plo_no_arg' -a '(__plo_words java-majors)'
complete -c plo -n '__plo_at java set; and __plo_no_arg' -a '(__fish_complete_directories)'
complete -c plo -n '__plo_at java env' -l shell -x -a 'bash zsh fish'
complete -c plo -n '__plo_at java install' -l set -l yes -l json -l system -l guide
complete -c plo -n '__plo_at java uninstall' -l yes
complete -c plo -n '__plo_at compute list; or __plo_at compute test' -l json
complete -c plo -n '__plo_at compute test; and __plo_no_arg' -a '(__plo_words computes)'
complete -c plo -n '__plo_at compute remove; and __plo_no_arg' -a '(__plo_words computes)'
complete -c plo -n '__plo_at compute add' -l master -l host -l cluster-id -x
complete -c plo -n '__plo_at compute add' -l type -x -a 'spark databricks glue emr dataproc fabric synapse'
complete -c plo -n '__plo_at compute add' -l runtime -x -a '(__plo_words runtimes)'
complete -c plo -n '__plo_top sync' -l yes -l dry-run -l json -l keep-companions -l no-project
complete -c plo -n '__plo_top pin' -l pyspark -x -a '(__plo_words versions)'
complete -c plo -n '__plo_top pin' -l java -x -a '(__plo_words java-majors)'
complete -c plo -n '__plo_top pin' -l compute -x -a '(__plo_words computes)'
complete -c plo -n '__plo_top pin' -l runtime -x -a '(__plo_words runtimes)'
)SH";

// A word goes to the shell only when it is one line of printable text.
bool printable(std::string_view word) {
  return !word.empty() && std::none_of(word.begin(), word.end(),
                                       [](unsigned char ch) { return ch < 0x20 || ch == 0x7f; });
}

std::vector<std::string> java_majors(const std::string& self) {
  PosixProcessRunner runner;
  const ProcessResult result = runner.run(
      {.argv = {self, "java", "search", "--json"}, .time_limit = std::chrono::seconds(5)});
  if (result.timed_out || result.exit_code != 0) return {};
  const auto document = nlohmann::json::parse(result.out, nullptr, false);
  if (!document.is_object() || !document.contains("jdks") || !document["jdks"].is_array()) {
    return {};
  }
  std::set<int, std::greater<>> majors;
  for (const auto& jdk : document["jdks"]) {
    if (jdk.is_object() && jdk.contains("version") && jdk["version"].is_number_integer()) {
      majors.insert(jdk["version"].get<int>());
    }
  }
  std::vector<std::string> words;
  for (int major : majors) words.push_back(std::to_string(major));
  return words;
}

}  // namespace

std::string completion_script(std::string_view shell) {
  if (shell == "bash") return std::string(kBash);
  if (shell == "zsh") return std::string(kZsh);
  if (shell == "fish") return std::string(kFish);
  return {};
}

std::vector<std::string> completion_words(std::string_view kind, const std::string& self) {
  std::vector<std::string> words;
  try {
    if (kind == "computes") {
      words = YamlComputeRegistry::from_plo_home()->names();
    } else if (kind == "versions") {
      for (const VersionEntry& entry : PYSPARK_VERSIONS) words.push_back(entry.version);
      for (const VersionEntry& entry : PYSPARK_VERSIONS) {
        if (std::find(words.begin(), words.end(), entry.major_minor) == words.end()) {
          words.push_back(entry.major_minor);
        }
      }
    } else if (kind == "runtimes") {
      for (const ManagedRuntime& row : managed_runtimes()) words.push_back(row.name);
    } else if (kind == "java-majors") {
      words = java_majors(self);
    }
  } catch (const std::exception&) {
    return {};
  }
  std::erase_if(words, [](const std::string& word) { return !printable(word); });
  return words;
}

}  // namespace plo
