#!/usr/bin/env python3
"""Status of a SLURM job for Snakemake's --cluster-status.

    slurm_status.py JOBID

Prints "success", "running" or "failed", as Snakemake expects.  JOBID is
what `sbatch --parsable` printed ("123" or "123;cluster").  Asks sacct for
the job's state, and scontrol when sacct does not know the job yet (the
accounting database may lag behind); a job neither knows of yet is taken
as running, to be asked again.  Without a status command Snakemake would
wait forever for a job that SLURM ended (a time limit, the memory limit,
a cancel).
"""
import subprocess
import sys

RUNNING = {"PENDING", "CONFIGURING", "RUNNING", "COMPLETING", "REQUEUED", "REQUEUE_FED", "REQUEUE_HOLD",
           "RESIZING", "SUSPENDED", "STAGE_OUT", "SIGNALING", "STOPPED", "RESV_DEL_HOLD"}


def state_from(command):
    try:
        result = subprocess.run(command, capture_output=True, text=True, timeout=60)
    except (OSError, subprocess.TimeoutExpired):
        return ""
    return result.stdout.strip() if result.returncode == 0 else ""


def job_state(job):
    state = state_from(["sacct", "--jobs", job, "--allocations", "--noheader", "--parsable2",
                        "--format", "State"])
    if state:
        return state.splitlines()[0].split()[0]  # "CANCELLED by 123" -> "CANCELLED"
    shown = state_from(["scontrol", "show", "job", job])
    for word in shown.split():
        if word.startswith("JobState="):
            return word[len("JobState="):]
    return ""


def main(argv):
    if len(argv) != 2:
        sys.exit("Usage: slurm_status.py JOBID")
    state = job_state(argv[1].split(";")[0].strip())
    if state == "COMPLETED":
        print("success")
    elif state == "" or state in RUNNING:
        print("running")
    else:
        print("failed")


if __name__ == "__main__":
    main(sys.argv)
