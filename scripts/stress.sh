#!/usr/bin/env bash
# Real kills and real runs at once, on the 64-bit and the 32-bit acctmap.exe
# under Wine, in one fresh prefix.
#
#   scripts/stress.sh            500 kills per exe, 20 rounds of runs at once
#   scripts/stress.sh --short    50 kills per exe (25 on FAT32), 3 rounds
#   scripts/stress.sh KILLS      KILLS kills per exe, KILLS/25 rounds (at least 3)
#   scripts/stress.sh --every-byte  the end-to-end suite's full-disk and kill
#                                sweeps at every byte of the new file instead
#                                of at the points where the state can differ
#
# Kills: a rewrite of a 100 000-line passwd file is killed (SIGKILL to the
# exe's own process) at a random moment, again and again, each run going on
# from what the last one left. A watcher looks for the passwd file all the
# while. After each kill the file must be the one before or that one with the
# run's entry, and the backup a whole earlier file. Then the same with a
# 10 000-line file on a FAT32 drive (tests/windows/fat_drive.sh), where the
# backup is a flushed copy, when the machine can mount one.
# Runs at once: 16 runs, both exes, each naming one passwd file in its own
# way (case, separators, "..", Z:, \\?\, a trailing dot or space, the short
# name), every fourth a batch of two accounts (-b), two a round every
# account of a machine (-a); afterwards every entry is there once and no old
# line is gone.
# Ends with `stress: N passed, N failed` (N counts checks); non-zero on any
# failure.
set -uo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C

kills=500
case ${1:-} in
  --short) kills=50 ;;
  --every-byte)
    cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null || exit 1
    ACCTMAP_EVERY_BYTE=1 ctest --preset windows -R 'Faults.*AtEachPoint' --timeout 3600
    exit
    ;;
  '') ;;
  *[!0-9]* | 0)
    echo "usage: scripts/stress.sh [--short | --every-byte | KILLS]" >&2
    exit 2
    ;;
  *) kills=$1 ;;
esac
rounds=$((kills / 25 < 3 ? 3 : kills / 25))
[ "${1:-}" = --short ] && rounds=3

bash scripts/setup.sh || exit 1
for preset in windows windows-x86; do
  if [ ! -f "build/$preset/acctmap.exe" ] ||
     [ ! -f "build/$preset/tests/windows/netapi32_standin/netapi32.dll" ]; then
    { cmake --preset "$preset" && cmake --build --preset "$preset" \
        --target acctmap netapi32_standin; } >/dev/null || exit 1
  fi
done

source scripts/wine-env.sh
work=$(mktemp -d /var/tmp/acctmap-stress-XXXXXX)
wine_env_at_exit 'rm -rf "$work"'
started=$SECONDS
wine_env_start "$work/prefix" || exit 1
# A FAT32 drive F:, where this machine can mount one (says why not).
fat=$work/fat
sh tests/windows/fat_drive.sh up "$WINEPREFIX" "$fat"
wine_env_at_exit 'sh tests/windows/fat_drive.sh down "$WINEPREFIX" "$fat"'
wine_env_standin 64 build/windows/tests/windows/netapi32_standin/netapi32.dll
wine_env_standin 32 build/windows-x86/tests/windows/netapi32_standin/netapi32.dll
mkdir -p "$WINEPREFIX/drive_c/cygwin/home" "$WINEPREFIX/drive_c/cygwin/etc"
wine_env_mount_home 'C:\cygwin\home'
printf 'user\t.\t%s\t1000\t513\tStress\n' "$WINE_USER" >"$WINEPREFIX/drive_c/accounts.txt"
export ACCTMAP_NETAPI_DATA='C:\accounts.txt'

passed=0
failed=0
check() {  # check WHAT STATUS
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1"
  fi
}

declare -A loader=([64]=$WINE64 [32]=$WINE32)
declare -A exe=([64]=$PWD/build/windows/acctmap.exe [32]=$PWD/build/windows-x86/acctmap.exe)
widths=(64)
if "$WINE32" --version >/dev/null 2>&1; then
  widths+=(32)
else
  # Not a failure of acctmap's: a kernel without 32-bit support runs no
  # 32-bit program at all. Said plainly, and left out of the counts.
  echo "SKIPPED: the 32-bit exe cannot run here: $WINE32 does not start (a kernel without 32-bit programs)"
fi

# The entry a run adds for the login NAME: CR LF, then the line.
tail_of_entry=$("${loader[64]}" "${exe[64]}" -u "$WINE_USER" -s TEMPLATE | tr -d '\r\n')
tail_of_entry=${tail_of_entry#TEMPLATE}
entry() { printf '\r\n%s%s' "$1" "$tail_of_entry"; }

# LINES lines of CR LF, the last one without (so that each run adds exactly
# its entry).
make_passwd() {
  awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++)
    printf "%suser%d:unused_by_nt/2000/xp:%d:10513:User %d,U-SALES\\user%d,S-1-5-21-111-222-333-%d:/home/user%d:/bin/switch",
           (i ? "\r\n" : ""), i, 2000 + i, i, i, 2000 + i, i }'
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { printf '%s\n' "$@" | sort -n | sed -n "$(($# / 2 + 1))p"; }

# Looks for FILE until STOP exists, as often as it can, then writes to RESULT
# how often it looked, how often the file was not there, and how many times
# it went away.
watch_file() {
  local looks=0 absent=0 gone=0 there=1
  while [ ! -e "$2" ]; do
    if [ -e "$1" ]; then
      there=1
    else
      absent=$((absent + 1))
      gone=$((gone + there))
      there=0
    fi
    looks=$((looks + 1))
  done
  echo "$looks $absent $gone" >"$3"
}

# --- Kills -----------------------------------------------------------------
# kill_part WIDTH [FOLDER WINDOWS-PATH LINES KILLS LABEL]
kill_part() {
  local width=$1 dir=${2:-$WINEPREFIX/drive_c/stress$1} win=${3:-"C:\\stress$1\\passwd"}
  local lines=${4:-100000} kills=${5:-$kills} label=${6:-$1-bit}
  local file=$dir/passwd chain=$work/chain$1 older=$work/older
  mkdir -p "$dir"
  make_passwd "$lines" >"$file"
  printf 'older:x\r\n' >"$older"
  cp "$older" "$file.bak"
  cp "$file" "$chain"
  # Every whole version the file has had: each is the start of the chain.
  local versions=" $(stat -c %s "$chain") "
  local n=0 killed=0 ended=0 bad=0 durations=()
  for n in 1 2 3; do
    local t0
    t0=$(now_ms)
    "${loader[$width]}" "${exe[$width]}" -u "$WINE_USER" -s "c$n" -f "$win" >/dev/null 2>&1
    durations+=($(($(now_ms) - t0)))
    entry "c$n" >>"$chain"
    versions+="$(stat -c %s "$chain") "
  done
  cmp -s "$file" "$chain"
  check "$label: three whole runs before the kills" $?

  rm -f "$work/stop"
  watch_file "$file" "$work/stop" "$work/watch$width" &
  local watcher=$!
  n=0
  # Every tenth run and the last are left to end: each must take over what
  # the killed ones left, and add its entry.
  while [ "$killed" -lt "$kills" ] || [ $((n % 10)) -ne 0 ]; do
    n=$((n + 1))
    [ "$n" -gt $((3 * kills + 10)) ] && break
    # Anywhere in a run as long as the last ones that ended took.
    local name=k$n delay=$((RANDOM % ($(median "${durations[@]}") + 1))) t0
    t0=$(now_ms)
    "${loader[$width]}" "${exe[$width]}" -u "$WINE_USER" -s "$name" -f "$win" \
      >"$work/out" 2>"$work/err" &
    local pid=$!
    if [ $((n % 10)) -ne 0 ]; then
      sleep "$((delay / 1000)).$(printf %03d $((delay % 1000)))"
      kill -KILL "$pid" 2>/dev/null
    fi
    # (no "Killed" notice from the shell)
    { wait "$pid"; } 2>/dev/null
    local status=$? problem=""
    # A start Wine's loader ended before the program ran (see together_part).
    if [ "$status" -ne 0 ] && [ "$status" -ne 137 ] && [ ! -s "$work/err" ] && [ ! -s "$work/out" ]; then
      echo "  run $name: Wine ended it at its start (status $status); once more"
      "${loader[$width]}" "${exe[$width]}" -u "$WINE_USER" -s "$name" -f "$win" \
        >"$work/out" 2>"$work/err"
      status=$?
    fi
    if [ "$status" -eq 137 ]; then
      killed=$((killed + 1))
    else
      durations+=($(($(now_ms) - t0)))
      [ "${#durations[@]}" -gt 9 ] && durations=("${durations[@]:1}")
      ended=$((ended + 1))
      if [ "$status" -ne 0 ] || [ -s "$work/err" ] || [ -s "$work/out" ]; then
        problem="run $name ended with status $status: $(head -c 300 "$work/err")"
      fi
    fi
    # The passwd file: the one before the run, or that one with its entry.
    local size chain_size state=bad
    chain_size=$(stat -c %s "$chain")
    size=$(stat -c %s "$file" 2>/dev/null || echo absent)
    if [ "$size" = absent ]; then
      state=absent
    elif [ "$size" -eq "$chain_size" ] && cmp -s "$file" "$chain"; then
      state=old
    elif entry "$name" >"$work/entry" &&
         [ "$size" -eq $((chain_size + $(stat -c %s "$work/entry"))) ] &&
         cmp -s -n "$chain_size" "$file" "$chain" &&
         tail -c "$(stat -c %s "$work/entry")" "$file" | cmp -s - "$work/entry"; then
      state=new
      cat "$work/entry" >>"$chain"
      versions+="$size "
    fi
    [ "$status" -ne 137 ] && [ "$state" != new ] && problem+=" (a run that ended left the file $state)"
    # The backup: the older file or a whole earlier version.
    local backup_size
    backup_size=$(stat -c %s "$file.bak" 2>/dev/null || echo absent)
    if [ "$backup_size" = absent ]; then
      problem+=" backup absent"
    elif ! cmp -s "$file.bak" "$older" &&
         ! { [[ $versions == *" $backup_size "* ]] && cmp -s -n "$backup_size" "$file.bak" "$chain"; }; then
      problem+=" backup not a whole earlier file ($backup_size bytes)"
    fi
    [ "$state" = absent ] || [ "$state" = bad ] && problem+=" passwd $state after run $name"
    if [ -n "$problem" ]; then
      bad=$((bad + 1))
      [ "$bad" -le 5 ] && echo "  $label:$problem"
      # Torn: go on from the last whole file. Absent: the next run must
      # make it again from the backup.
      [ "$state" = bad ] && cp "$chain" "$file"
    fi
  done
  touch "$work/stop"
  wait "$watcher"
  local looks absences gone
  read -r looks absences gone <"$work/watch$width"
  echo "kills, $label: $killed kills, $ended runs that ended; passwd absent at $absences of" \
       "$looks looks ($gone times); $bad runs with a fault ($(wc -l <"$chain") lines now)"
  check "$label: $kills kills" $((killed < kills))
  # fusefat's own rename over a file leaves a moment an observer can meet
  # (a plain mv -f shows it too); there the check is that no run left the
  # file absent, as the runs' checks above say.
  if [[ $label == *FAT32* ]]; then
    echo "  $label: fusefat's renames were seen without passwd $absences times"
  else
    check "$label: passwd never absent ($absences absences)" $((absences != 0))
  fi
  check "$label: every run left whole files, every whole run its entry ($bad did not)" $((bad != 0))
}

# --- Runs at once -------------------------------------------------------------
together_part() {
  local dir=$WINEPREFIX/drive_c/cygwin/etc name=passwd-accounts
  local file=$dir/$name expect=$work/expect
  make_passwd 20000 >"$file"
  printf 'older:x\r\n' >"$file.bak"
  { tr -d '\r' <"$file"; echo; } >"$expect"
  # Wine's cmd gives no short name for %~sI; its dir /x does.
  local short
  # (A file system that does not answer, a hung FUSE mount say, stalls
  # Wine's dir: then the long name stands in.)
  short=$(timeout 20 "$WINE64" cmd /c dir /x 'C:\cygwin\etc\passwd-accounts' </dev/null |
          tr -d '\r' | awk '$NF == "passwd-accounts" { print $(NF-1) }')
  if [ -n "$short" ]; then
    short='C:\cygwin\etc\'$short
  else
    echo "no short name from Wine's dir /x: the long name stands in for it"
    short='C:\cygwin\etc\passwd-accounts'
  fi
  local spellings=(
    'C:\cygwin\etc\passwd-accounts'
    'c:\CYGWIN\etc\PASSWD-ACCOUNTS'
    'C:/cygwin/etc/passwd-accounts'
    'C:\cygwin\home\..\etc\passwd-accounts'
    "$(wine_env_windows_path "$file")"
    '\\?\C:\cygwin\etc\passwd-accounts'
    'C:\cygwin\etc\passwd-accounts.'
    'C:\cygwin\etc\passwd-accounts '
    "$short"
    'c:\Cygwin\Etc\Passwd-Accounts'
  )
  echo "runs at once on $file, short name $short"
  declare -A runs=() bad_runs=()
  local round lost_rounds=0
  local accounts=() data=()
  for ((round = 1; round <= rounds; round++)); do
    local pids=() i
    for ((i = 0; i < 16; i++)); do
      local width=${widths[i % ${#widths[@]}]}
      local spelling=${spellings[(i + round) % ${#spellings[@]}]}
      # Every fourth run adds two accounts at once from an accounts file;
      # two runs a round list every account of a machine of two (-a).
      accounts[i]="-u $WINE_USER -s r${round}n$i"
      data[i]='C:\accounts.txt'
      if ((i % 8 == 5)); then
        printf 'users\t.\tr%sn%sa\t2\t3000\n' "$round" "$i" >"$work/listed$i"
        data[i]=$(wine_env_windows_path "$work/listed$i")
        accounts[i]="-a"
      elif ((i % 4 == 3)); then
        printf -- '-u %s -s r%sn%sb%s\r\n' "$WINE_USER" "$round" "$i" 0 "$WINE_USER" "$round" \
          "$i" 1 >"$work/list$i"
        accounts[i]="-b $(wine_env_windows_path "$work/list$i")"
      fi
      # (Words without blanks: the user's name and the list's path.)
      # shellcheck disable=SC2086
      ACCTMAP_NETAPI_DATA=${data[i]} timeout -s KILL 120 "${loader[$width]}" "${exe[$width]}" \
        ${accounts[i]} -f "$spelling" >"$work/out$i" 2>"$work/err$i" &
      pids+=($!)
    done
    for ((i = 0; i < 16; i++)); do
      local width=${widths[i % ${#widths[@]}]}
      local spelling=${spellings[(i + round) % ${#spellings[@]}]}
      wait "${pids[i]}"
      local status=$?
      # Wine's loader now and then ends a start before the program has run
      # or said a word (acctmap never fails without a message): once more.
      if [ "$status" -ne 0 ] && [ ! -s "$work/err$i" ] && [ ! -s "$work/out$i" ]; then
        echo "  run $i of round $round: Wine ended it at its start (status $status); once more"
        # shellcheck disable=SC2086
        ACCTMAP_NETAPI_DATA=${data[i]} timeout -s KILL 120 "${loader[$width]}" "${exe[$width]}" \
          ${accounts[i]} -f "$spelling" >"$work/out$i" 2>"$work/err$i"
        status=$?
      fi
      runs[$width]=$((${runs[$width]:-0} + 1))
      if [ "$status" -ne 0 ] || [ -s "$work/err$i" ] || [ -s "$work/out$i" ]; then
        bad_runs[$width]=$((${bad_runs[$width]:-0} + 1))
        check "round $round, $width-bit, '$spelling': status $status, $(head -c 200 "$work/err$i")" 1
      else
        check "round $round run $i" 0
      fi
      if ((i % 8 == 5)); then
        # The listing's entries as its preview prints them.
        { ACCTMAP_NETAPI_DATA=${data[i]} "${loader[64]}" "${exe[64]}" -a; echo; } |
          tr -d '\r' | sed '/^$/d' >>"$expect"
      elif ((i % 4 == 3)); then
        printf 'r%sn%sb%s%s\n' "$round" "$i" 0 "$tail_of_entry" "$round" "$i" 1 "$tail_of_entry" \
          >>"$expect"
      else
        printf 'r%sn%s%s\n' "$round" "$i" "$tail_of_entry" >>"$expect"
      fi
    done
    # Every line once: the old ones and this round's and the earlier rounds'
    # entries, in the file Wine opens under that name (whatever its case now).
    local found=$file
    [ -f "$found" ] || found=$(find "$dir" -maxdepth 1 -iname "$name" | head -n 1)
    if [ -f "$found" ]; then
      { tr -d '\r' <"$found"; echo; } | sort >"$work/got"
    else
      : >"$work/got"
    fi
    sort "$expect" >"$work/want"
    local old_lost entries_lost extra
    old_lost=$(comm -23 "$work/want" "$work/got" | grep -c -v "^r${round}n[0-9ab]*:")
    entries_lost=$(comm -23 "$work/want" "$work/got" | grep -c "^r${round}n[0-9ab]*:")
    extra=$(comm -13 "$work/want" "$work/got" | wc -l)
    check "round $round: $old_lost old lines lost, $entries_lost entries missing, $extra lines too many" \
      $((old_lost + entries_lost + extra != 0))
    if [ $((old_lost + entries_lost + extra)) -ne 0 ]; then
      lost_rounds=$((lost_rounds + 1))
      comm -3 "$work/want" "$work/got" | head -n 4 | cut -c 1-100 | sed 's/^/  /'
      # Go on from what is there.
      [ -f "$found" ] && { tr -d '\r' <"$found"; echo; } >"$expect"
    fi
  done
  for width in "${widths[@]}"; do
    echo "runs at once, $width-bit: ${runs[$width]:-0} runs, ${bad_runs[$width]:-0} with a notice or a bad status"
  done
  echo "runs at once: $rounds rounds of 16, $lost_rounds with a line lost or doubled"

  # One more run under another spelling: the file keeps the name it has.
  "$WINE64" "${exe[64]}" -u "$WINE_USER" -s last -f 'C:\CYGWIN\ETC\PASSWD-ACCOUNTS' \
    >"$work/out" 2>"$work/err"
  local status=$?
  check "last run: status $status, $(head -c 200 "$work/err")" \
    $((status != 0 || $(stat -c %s "$work/err") != 0))
  # Only the stored name, its backup and a run's own ~ names.
  local listing wrong
  listing=$(ls -A "$dir")
  echo "names in C:\cygwin\etc: $(echo $listing)"
  wrong=$(grep -i -e "^$name" -e "^${short##*\\}" <<<"$listing" |
          grep -v -x -e "$name" -e "$name\.bak" -e "$name\.[a-z]*~" | tr '\n' ' ')
  grep -q -x "$name" <<<"$listing"
  check "stored name kept, no other spelling's file (${wrong:-none})" $(($? != 0 || ${#wrong} != 0))
}

for width in "${widths[@]}"; do
  kill_part "$width"
done
# The same on a FAT32 drive, where the backup is a flushed copy: a smaller
# file and half the kills, since every byte goes through fusefat.
if [ -e "$WINEPREFIX/dosdevices/f:" ]; then
  kill_part 64 "$fat.mnt/stress" 'F:\stress\passwd' 10000 $((kills / 2)) "64-bit on FAT32"
else
  echo "SKIPPED: the kill part on FAT32: no FAT32 drive F: here"
fi
together_part
echo "stress took $((SECONDS - started)) s"
echo "stress: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
