#!/usr/bin/env bash
# Farm rendering on a real Slurm: starts a throwaway single-node cluster (munge and Slurm
# daemons with their configuration, socket and state in a temporary folder), submits an 8-frame
# sequence through scripts/submit-slurm.sh as a 4-task array, and checks:
#   1. every frame equals, value for value, a render of the whole sequence on this machine;
#   2. a second submission renders nothing and leaves every file untouched;
#   3. with the third input cut short, only the task holding it fails, its log names the frame,
#      and every other frame is written.
# The daemons are stopped through their pid files whatever happens. Skipped (status 77) when
# not run as root or without Slurm and munge installed.
#
#   slurm_farm_test.sh QUILLBLOOM FARM_FRAMES SOURCE_DIR
set -euo pipefail

quillbloom="$1"
farm_frames="$2"
source_dir="$3"
skip=77
limit=300  # seconds any one wait may take

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the throwaway Slurm cluster needs root (its daemons run as root)"
    exit $skip
fi
for daemon in munged slurmctld slurmd sbatch sinfo squeue; do
    if ! command -v "$daemon" >/dev/null && [ ! -x "/usr/sbin/$daemon" ]; then
        echo "SKIP: $daemon is missing: install the Debian packages slurm-wlm and munge"
        exit $skip
    fi
done
PATH="$PATH:/usr/sbin"
# Under the sanitizers, a known leak of the image library on damaged PNGs is not ours; the
# tasks inherit this.
export LSAN_OPTIONS="fast_unwind_on_malloc=0:print_suppressions=0:suppressions=$source_dir/tests/cli/image_library_leaks.supp"

work="$(mktemp -d /tmp/qb_slurm_XXXXXX)"
chmod 755 "$work"

stop_daemon() {
    local pid_file="$1"
    [ -s "$pid_file" ] || return 0
    local pid
    pid="$(cat "$pid_file")"
    kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.2
    done
    kill -9 "$pid" 2>/dev/null || true
}

cleanup() {
    local status=$?
    if [ -n "${SLURM_CONF:-}" ]; then
        scancel --quiet --name=quillbloom 2>/dev/null || true
    fi
    stop_daemon "$work/slurmd.pid"
    stop_daemon "$work/slurmctld.pid"
    stop_daemon "$work/munged.pid"
    if [ $status -ne 0 ] && [ $status -ne $skip ]; then
        for log in "$work"/*.log "$work"/run/*.log "$work"/bad/*.log; do
            [ -f "$log" ] && { echo "--- $log"; tail -n 30 "$log"; }
        done
    fi
    rm -rf "$work"
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL: $*"
    exit 1
}

# Waits up to $limit seconds for a command to succeed.
wait_for() {
    local what="$1"
    shift
    for _ in $(seq $((limit * 5))); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    fail "timed out waiting for $what"
}

# --- munge, with its own key and socket -----------------------------------------------------
dd if=/dev/urandom of="$work/munge.key" bs=1024 count=1 status=none
chmod 400 "$work/munge.key"
munged --force --key-file="$work/munge.key" --socket="$work/munge.socket" \
    --pid-file="$work/munged.pid" --log-file="$work/munged.log" --seed-file="$work/munge.seed"
wait_for "munged" test -S "$work/munge.socket"

# --- Slurm: one controller and one node on the loopback address -----------------------------
free_port() {
    local port
    for _ in $(seq 50); do
        port=$((20000 + RANDOM % 20000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo $port
            return
        fi
    done
    fail "no free port"
}
host="$(hostname -s)"
mkdir -p "$work/state" "$work/spool"
cat >"$work/slurm.conf" <<CONF
ClusterName=qbfarm
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge.socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SlurmdParameters=config_overrides
ReturnToService=2
MpiDefault=none
NodeName=qbnode NodeAddr=127.0.0.1 CPUs=2 RealMemory=500 State=UNKNOWN
PartitionName=farm Nodes=qbnode Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$work/slurm.conf"
slurmctld -f "$SLURM_CONF" -i
slurmd -f "$SLURM_CONF" -N qbnode
node_ready() { sinfo -h -N -o %t | grep -Eq '^(idle|mix|alloc)'; }
wait_for "the Slurm node to come up" node_ready

# --- 1. a 4-task array renders what one machine renders -------------------------------------
cd "$work"
mkdir -p frames run bad reference
"$farm_frames" make frames 8
render=(render frames/in.####.png --distance frames/depth.####.png --frames 1-8 --amount 12)
if ! "$quillbloom" "${render[@]}" -o reference/out.####.png 2>reference.log; then
    if grep -q "not available" reference.log; then
        echo "SKIP: the module cannot render in this build: $(head -n 1 reference.log)"
        exit $skip
    fi
    fail "the single-machine render failed: $(cat reference.log)"
fi

submit() {
    local folder="$1"
    shift
    (cd "$folder" && QUILLBLOOM="$quillbloom" timeout $limit \
        bash "$source_dir/scripts/submit-slurm.sh" --tasks 4 --wait -- "$@")
}
job="$(submit run "${render[@]/#frames/../frames}" -o out.####.png)" ||
    fail "the array failed (job $job)"
for frame in 0001 0002 0003 0004 0005 0006 0007 0008; do
    "$farm_frames" same "reference/out.$frame.png" "run/out.$frame.png" ||
        fail "frame $frame from the farm differs from the single-machine render"
done
[ "$(ls run/quillbloom-*.log | wc -l)" -eq 4 ] || fail "expected one log per task"
echo "ok: 8 frames from 4 tasks equal the single-machine render"

# --- 2. submitted again, nothing is rendered and nothing changes ----------------------------
before="$(stat -c '%n %i %Y %s' run/out.*.png)"
sleep 1
rm -f run/quillbloom-*.log
job="$(submit run "${render[@]/#frames/../frames}" -o out.####.png)" ||
    fail "the second array failed (job $job)"
[ "$before" = "$(stat -c '%n %i %Y %s' run/out.*.png)" ] || fail "a written frame was touched"
[ "$(grep -c skipped run/quillbloom-*.log | awk -F: '{s += $2} END {print s}')" -eq 8 ] ||
    fail "the second submission did not skip all 8 frames"
echo "ok: a second submission renders nothing and leaves every file untouched"

# --- 3. a cut-short input fails its own task only -------------------------------------------
cp frames/* bad/
truncate -s 200 bad/in.0003.png
if job="$(submit bad "${render[@]/#frames/.}" -o out.####.png)"; then
    fail "the array with a cut-short frame succeeded"
fi
for frame in 0001 0002 0004 0005 0006 0007 0008; do
    [ -f "bad/out.$frame.png" ] || fail "frame $frame was not written"
done
[ ! -e bad/out.0003.png ] || fail "frame 3 was written from a cut-short input"
task_log="bad/quillbloom-${job}_2.log"
grep -q "frame 3: cannot read" "$task_log" || fail "task 2's log does not name frame 3"
grep -q "failed: 3" "$task_log" || fail "task 2's log does not list the failed frame"
for task in 1 3 4; do
    ! grep -q "cannot read" "bad/quillbloom-${job}_$task.log" || fail "task $task failed too"
done
echo "ok: only the task holding the cut-short frame failed"
