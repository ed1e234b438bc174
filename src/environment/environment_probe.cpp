#include "environment/environment_probe.h"

#include <fmt/format.h>
#include <stdexcept>

#include "util/environment.h"
#include "util/text.h"

namespace plo {
namespace {

constexpr std::string_view kMarker{"plo-env-probe\0", 14};
constexpr auto kProbeTimeLimit = std::chrono::seconds(20);

}  // namespace

// Fields go out as NUL-separated key/value pairs; paths as bytes. Nothing of pyspark is imported.
const std::string_view kEnvironmentProbeScript =
    "import os,sys,sysconfig,importlib.util as u\n"
    "b=sys.stdout.buffer\n"
    "def w(k,v):b.write(k.encode()+b'\\0'+os.fsencode(v)+b'\\0')\n"
    "b.write(b'plo-env-probe\\0')\n"
    "w('pip','1' if u.find_spec('pip') else '')\n"
    "w('venv','1' if sys.prefix!=getattr(sys,'base_prefix',sys.prefix) else '')\n"
    "w('managed','1' if os.path.isfile(os.path.join(sysconfig.get_path('stdlib'),"
    "'EXTERNALLY-MANAGED')) else '')\n"
    "w('conda','1' if os.path.isdir(os.path.join(sys.prefix,'conda-meta')) else '')\n"
    "for p in sys.path:\n"
    " s=os.path.join(p,'.plo-pyspark-stash')\n"
    " if p and os.path.isdir(s):w('stash',s);break\n"
    // Where pip installs (the user site where the site folder is not writable, as pip decides),
    // and the folders holding a pyspark package that import would reach before that one.
    "import site\n"
    "us=site.getusersitepackages() if site.ENABLE_USER_SITE else ''\n"
    "pl=os.path.realpath(sysconfig.get_path('purelib'))\n"
    "it=pl if os.access(pl,os.W_OK) or not us else os.path.realpath(us)\n"
    "w('install_to',it)\n"
    "if us:w('user_site',os.path.realpath(us))\n"
    "w('base_python',getattr(sys,'_base_executable','') or '')\n"
    "h=[]\n"
    "for p in sys.path:\n"
    " q=os.path.realpath(p or '.')\n"
    " if q==it:break\n"
    " if q not in h and os.path.isfile(os.path.join(q,'pyspark','__init__.py')):"
    "h.append(q);w('pyspark_ahead',q)\n"
    "try:s=u.find_spec('pyspark')\n"
    "except Exception:s=None\n"
    "o=s and s.origin\n"
    "if o and os.path.basename(o)=='__init__.py':\n"
    " d=os.path.dirname(os.path.abspath(o));r=os.path.dirname(d);w('package',d)\n"
    " q=[os.path.realpath(x) for x in os.environ.get('PYTHONPATH','').split(os.pathsep) if x]\n"
    " if os.path.realpath(r) in q:w('origin','pythonpath')\n"
    " elif '' in sys.path[:1] and os.path.realpath(r)==os.path.realpath(os.getcwd()):"
    "w('origin','cwd')\n"
    " else:w('origin','site')\n"
    " f=0\n"
    " try:\n"
    "  import importlib.metadata as m,re\n"
    "  for t in m.distributions(path=[r]):\n"
    "   p=getattr(t,'_path',None)\n"
    "   n=re.sub(r'[-_.]+','-',t.metadata['Name'] or '').lower()\n"
    "   if n in('pyspark','pyspark-client') and p and str(p).endswith('.dist-info'):\n"
    "    w('dist_info',str(p));w('dist_version',t.version);f=1\n"
    // conda records what it installed in conda-meta; its python packages say so in INSTALLER.
    "    i=(t.read_text('INSTALLER') or '').strip()\n"
    "    import glob\n"
    "    if i=='conda' or glob.glob(os.path.join(sys.prefix,'conda-meta','pyspark-[0-9]*.json')):"
    "w('conda_owned','1')\n"
    "    if sys.argv[1:]==['files']:\n"
    "     for f in t.files or []:w('file',os.path.normpath(str(t.locate_file(f))))\n"
    // py4j changes with pyspark's version: a kept copy without it would not bring the old back.
    "     if any(re.match(r'py4j\\b',q,re.I) and ';' not in q for q in t.requires or []):\n"
    "      j=m.distribution('py4j')\n"
    "      for f in j.files or []:w('file',os.path.normpath(str(j.locate_file(f))))\n"
    "    break\n"
    " except Exception:pass\n"
    // An editable install's dist-info lies in a site folder, its package in the user's source.
    " if not f:\n"
    "  try:\n"
    "   import importlib.metadata as m,json,re\n"
    "   for t in m.distributions():\n"
    "    n=re.sub(r'[-_.]+','-',t.metadata['Name'] or '').lower()\n"
    "    d=json.loads(t.read_text('direct_url.json') or '{}') if n=='pyspark' else {}\n"
    "    if (d.get('dir_info') or {}).get('editable'):w('editable',d.get('url',''));break\n"
    "  except Exception:pass\n";

std::optional<EnvironmentProbe> parse_environment_probe(std::string_view output) {
  // Site hooks may print before the probe does; its marker tells where its part starts.
  const auto marker = output.find(kMarker);
  if (marker == std::string_view::npos) return std::nullopt;
  output.remove_prefix(marker + kMarker.size());
  EnvironmentProbe probe;
  while (!output.empty()) {
    const auto key_end = output.find('\0');
    if (key_end == std::string_view::npos) return std::nullopt;
    const std::string_view key = output.substr(0, key_end);
    output.remove_prefix(key_end + 1);
    const auto value_end = output.find('\0');
    if (value_end == std::string_view::npos) return std::nullopt;
    std::string value(output.substr(0, value_end));
    output.remove_prefix(value_end + 1);
    if (key == "pip") {
      probe.has_pip = !value.empty();
    } else if (key == "venv") {
      probe.in_virtual_env = !value.empty();
    } else if (key == "managed") {
      probe.externally_managed = !value.empty();
    } else if (key == "conda") {
      probe.conda = !value.empty();
    } else if (key == "stash") {
      probe.stash = std::move(value);
    } else if (key == "package") {
      probe.package = std::move(value);
    } else if (key == "origin") {
      probe.origin = value == "pythonpath" ? EnvironmentProbe::Origin::PythonPath
                     : value == "cwd"      ? EnvironmentProbe::Origin::CurrentFolder
                                           : EnvironmentProbe::Origin::Site;
    } else if (key == "dist_info") {
      probe.dist_info = std::move(value);
    } else if (key == "dist_version") {
      probe.dist_version = std::move(value);
    } else if (key == "install_to") {
      probe.install_to = std::move(value);
    } else if (key == "user_site") {
      probe.user_site = std::move(value);
    } else if (key == "base_python") {
      if (!value.empty()) probe.base_python = std::move(value);
    } else if (key == "pyspark_ahead") {
      probe.shadowing_folders.push_back(std::move(value));
    } else if (key == "conda_owned") {
      probe.conda_owned = !value.empty();
    } else if (key == "editable") {
      probe.editable = std::move(value);
    } else if (key == "file") {
      probe.files.push_back(std::move(value));
    }
  }
  return probe;
}

EnvironmentProbe probe_environment(ProcessRunner& runner, const std::string& interpreter,
                                   bool list_files) {
  std::vector<std::string> argv = {interpreter, "-c", std::string(kEnvironmentProbeScript)};
  if (list_files) argv.emplace_back("files");
  const ProcessResult result = runner.run({.argv = argv, .time_limit = kProbeTimeLimit});
  if (result.timed_out) {
    throw std::runtime_error(
        fmt::format("the Python interpreter {} did not answer within {} seconds", interpreter,
                    kProbeTimeLimit.count()));
  }
  auto probe = parse_environment_probe(result.out);
  if (result.exit_code != 0 || !probe) {
    throw std::runtime_error(
        fmt::format("{} does not behave like a Python interpreter (exit status {})", interpreter,
                    result.exit_code));
  }
  return *probe;
}

bool pip_told_to_break_system_packages() {
  // pip reads the variable as a boolean option.
  const auto value = non_empty_env("PIP_BREAK_SYSTEM_PACKAGES");
  if (!value) return false;
  const std::string lowered = to_lower(trim_blanks(*value));
  return !(lowered == "0" || lowered == "false" || lowered == "no" || lowered == "off" ||
           lowered.empty());
}

}  // namespace plo
