# Reads and checks the settings of config/config.yaml and --config (a bad
# setting stops the workflow before any job, with one line naming the key,
# the file or the value at fault), and finds the chunks of a chromosome.

import shlex
import shutil
import subprocess
import sys


def settings_error(message):
    # Snakemake would print any exception raised here with a traceback of
    # this file; a bad setting is one line and exit code 1.
    print(f"Error in the workflow's settings: {message}", file=sys.stderr, flush=True)
    sys.stdout.flush()
    os._exit(1)


def launch_directory():
    """The directory snakemake was started in.

    Without -d it is the working directory.  With -d snakemake has left it
    before this file is read, so it is the shell's $PWD.  It is handed to
    the jobs of a cluster through the environment, since a job starts in
    the working directory.
    """
    variable = "VELMORA_WORKFLOW_LAUNCH_DIR"
    directory = os.environ.get(variable)
    if not directory:
        shell_directory = os.environ.get("PWD", "")
        if workflow.overwrite_workdir and os.path.isabs(shell_directory) and os.path.isdir(shell_directory):
            directory = shell_directory
        else:
            directory = os.getcwd()
        os.environ[variable] = directory
    return directory


LAUNCH_DIR = launch_directory()

# Set for the SLURM profile's status command, which finds its script
# through it.
WORKFLOW_DIR_VARIABLE = "VELMORA_WORKFLOW_DIR"
os.environ[WORKFLOW_DIR_VARIABLE] = workflow.basedir


def setting(key):
    value = config.get(key)
    return "" if value is None else value


def existing_path(key, value):
    """An absolute path to an existing file: relative to the launch
    directory, or else to the working directory."""
    text = os.path.expanduser(str(value))
    if not text:
        settings_error(f"{key} is not set; give it with --config {key}=PATH")
    bases = [""] if os.path.isabs(text) else [LAUNCH_DIR, os.getcwd()]
    for base in bases:
        candidate = os.path.abspath(os.path.join(base, text))
        if os.path.isfile(candidate):
            return candidate
    where = "" if os.path.isabs(text) else f" (looked for in {LAUNCH_DIR} and in {os.getcwd()})"
    settings_error(f"{key}: the file {text} does not exist{where}")


def whole_number(key, least):
    value = setting(key)
    try:
        number = float(str(value))  # 5e6 and 5000000 alike
        number = int(number) if number.is_integer() else None
    except (ValueError, OverflowError):
        number = None
    if number is None or number < least:
        settings_error(f"{key} is '{value}'; it takes a whole number of at least {least}")
    return number


# The input and its index.
INPUT = existing_path("input", setting("input"))
INPUT_INDEX = next((f"{INPUT}{suffix}" for suffix in (".csi", ".tbi") if os.path.isfile(f"{INPUT}{suffix}")), None)
if INPUT_INDEX is None:
    settings_error(f"the input {INPUT} has no index ({os.path.basename(INPUT)}.tbi or .csi beside it); "
                   f"make one with: bcftools index {shlex.quote(INPUT)}")

# The output and its index.
if not str(setting("output")):
    settings_error("output is not set; give it with --config output=NAME.vcf.gz (or NAME.bcf)")
OUTPUT = os.path.abspath(os.path.join(LAUNCH_DIR, os.path.expanduser(str(setting("output")))))
if OUTPUT.endswith(".vcf.gz"):
    OUTPUT_TYPE, OUTPUT_INDEX, OUTPUT_INDEX_OPTION = "z", f"{OUTPUT}.tbi", "--tbi"
elif OUTPUT.endswith(".bcf"):
    OUTPUT_TYPE, OUTPUT_INDEX, OUTPUT_INDEX_OPTION = "b", f"{OUTPUT}.csi", "--csi"
else:
    settings_error(f"output is {setting('output')}; its name must end in .vcf.gz or .bcf")

# Chunks.
CHUNK_BP = whole_number("chunk_bp", 1)
OVERLAP_BP = whole_number("overlap_bp", 0)
MIN_OVERLAP_SITES = whole_number("min_overlap_sites", 1)
if OVERLAP_BP >= CHUNK_BP:
    settings_error(f"overlap_bp ({OVERLAP_BP}) must be smaller than chunk_bp ({CHUNK_BP})")

# Velmora and its options.
THREADS = whole_number("threads", 1)
_velmora = os.path.expanduser(str(setting("velmora") or "velmora"))
if "/" in _velmora:
    VELMORA = existing_path("velmora", _velmora)
else:
    VELMORA = shutil.which(_velmora)
    if VELMORA is None:
        settings_error(f"velmora: the program {_velmora} is not on the PATH; give its path with --config velmora=PATH")
    VELMORA = os.path.abspath(VELMORA)
if not os.access(VELMORA, os.X_OK):
    settings_error(f"velmora: {VELMORA} is not an executable program")

try:
    _options = shlex.split(str(setting("velmora_options")))
except ValueError as error:
    settings_error(f"velmora_options '{setting('velmora_options')}' cannot be split into words: {error}")
for _refused, _reason in (("--region", "the workflow sets the region of each chunk"),
                          ("--threads", "set the threads key instead"),
                          ("--haplotypes", "every chunk would write the same file"),
                          ("--report", "every chunk would write the same file"),
                          ("-h", "it only prints the help"), ("--help", "it only prints the help"),
                          ("--version", "it only prints the version")):
    if _refused in _options:
        settings_error(f"velmora_options may not hold {_refused}: {_reason}")
if "drop-samples" in _options:
    settings_error("velmora_options may not hold --missing drop-samples: chunks would keep different samples "
                   "and could not be joined; use --missing drop-sites")
VELMORA_OPTIONS = shlex.join(_options)


def contigs_with_records(path):
    """The contigs that have records, in the order of the input's index."""
    try:
        listing = subprocess.run(["bcftools", "index", "--stats", path], capture_output=True, text=True)
    except FileNotFoundError:
        settings_error("bcftools is not on the PATH; the workflow needs it")
    if listing.returncode != 0:
        problem = (listing.stderr.strip().splitlines() or ["no reason given"])[-1]
        settings_error(f"the index of the input {path} cannot be read: {problem}")
    contigs = []
    for line in listing.stdout.splitlines():
        fields = line.split("\t")
        if len(fields) >= 3 and fields[2] != "0":
            contigs.append(fields[0])
    if not contigs:
        settings_error(f"the input {path} has no records")
    return contigs


def chosen_chromosomes(available):
    value = setting("chromosomes")
    if isinstance(value, (list, tuple)):
        names = [str(name).strip() for name in value]
    else:
        names = [name.strip() for name in str(value).replace(" ", ",").split(",")]
    names = [name for name in names if name]
    if not names:
        return available
    missing = [name for name in names if name not in available]
    if missing:
        settings_error(f"chromosomes: {', '.join(missing)} has no records in the input {INPUT} "
                       f"(it has records in {', '.join(available)})")
    return [name for name in available if name in names]


CHROMOSOMES = chosen_chromosomes(contigs_with_records(INPUT))
for _name in CHROMOSOMES:
    if "/" in _name:
        settings_error(f"chromosomes: the name {_name} holds a '/', which cannot be part of a file name")


# The chunks of a chromosome, known once its checkpoint plan_chunks has run.


def chunk_paths(chrom):
    """The chunks of a chromosome, in order along it."""
    plan = checkpoints.plan_chunks.get(chrom=chrom).output[0]
    with open(plan) as lines:
        return [f"work/chunks/{chrom}/{fields[1]}-{fields[2]}.bcf" for fields in (line.split("\t") for line in lines)]


def chunk_files(wildcards):
    return chunk_paths(wildcards.chrom)


def chunk_indexes(wildcards):
    return [f"{path}.csi" for path in chunk_paths(wildcards.chrom)]


def all_chunk_files(wildcards):
    return [path for chrom in CHROMOSOMES for path in chunk_paths(chrom)]
