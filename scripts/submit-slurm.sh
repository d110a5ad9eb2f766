#!/usr/bin/env bash
# Submits a quillbloom render to Slurm as a job array: each of the N tasks renders its own slice
# of --frames (--chunk auto) and leaves frames already written (--skip-existing), so a requeued
# or pre-empted task resumes where it stopped.
#
#   scripts/submit-slurm.sh --tasks N [sbatch options...] -- render IN -o OUT --frames A-B [flags]
#
# sbatch options go to sbatch as they are (--partition, --cpus-per-task, --time, --wait...).
# Each task writes its log to quillbloom-JOBID_TASK.log in the current folder unless an
# --output option says otherwise. Prints the job id. The program run is $QUILLBLOOM if set, else
# the quillbloom built in this checkout, else the one on PATH; it must be reachable at the same
# path from every node.
set -euo pipefail

usage() {
    sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

tasks=""
sbatch_options=()
while [ $# -gt 0 ]; do
    case "$1" in
        --tasks) [ $# -ge 2 ] || usage; tasks="$2"; shift 2 ;;
        --tasks=*) tasks="${1#--tasks=}"; shift ;;
        --) shift; break ;;
        -h|--help) usage ;;
        *) sbatch_options+=("$1"); shift ;;
    esac
done
render_arguments=("$@")

if ! [[ "$tasks" =~ ^[1-9][0-9]*$ ]]; then
    echo "submit-slurm.sh: --tasks N is needed, N a whole number of tasks from 1" >&2
    exit 2
fi
if [ ${#render_arguments[@]} -eq 0 ] || [ "${render_arguments[0]}" != "render" ]; then
    echo "submit-slurm.sh: after -- give the render command: render IN -o OUT --frames A-B ..." >&2
    exit 2
fi
for argument in "${render_arguments[@]}"; do
    case "$argument" in
        --chunk|--chunk=*)
            echo "submit-slurm.sh: leave out --chunk; every task takes its own slice" >&2
            exit 2 ;;
    esac
done
if ! command -v sbatch >/dev/null; then
    echo "submit-slurm.sh: sbatch is not on PATH: is this a Slurm submit host?" >&2
    exit 2
fi

root="$(cd "$(dirname "$0")/.." && pwd)"
program="${QUILLBLOOM:-}"
if [ -z "$program" ]; then
    if [ -x "$root/build/quillbloom" ]; then
        program="$root/build/quillbloom"
    else
        program="$(command -v quillbloom || true)"
    fi
fi
if [ -z "$program" ] || [ ! -x "$program" ]; then
    echo "submit-slurm.sh: no quillbloom program: build it or set QUILLBLOOM" >&2
    exit 2
fi

log_option=(--output "quillbloom-%A_%a.log")
for option in "${sbatch_options[@]}"; do
    case "$option" in
        -o|--output|--output=*|-o*) log_option=() ;;
    esac
done

# The command each task runs, quoted so that the task's shell sees the same words.
command_line="$(printf '%q ' "$(realpath "$program")" "${render_arguments[@]}" \
    --chunk auto --skip-existing)"

set +e
submitted="$(sbatch --parsable --array="1-$tasks" --job-name=quillbloom "${log_option[@]}" \
    "${sbatch_options[@]}" --wrap "$command_line")"
status=$?
set -e
job="${submitted%%;*}"
if [ -n "$job" ]; then
    echo "$job"
fi
exit $status
