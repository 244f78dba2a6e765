#!/usr/bin/env bash
# A throw-away Active Directory domain controller for the domain tests.
#
#   domain-controller.sh start STATE   provision LAB.TEST into a fresh temporary
#                                      folder and start it; STATE records where
#   domain-controller.sh stop STATE    stop it by pid and remove its folder
#   domain-controller.sh run STATE PROGRAM ARGS...
#                                      run a program inside the controller's
#                                      network and mount namespaces, with
#                                      NOMVERA_TEST_DOMAIN naming the STATE
#                                      file (or with NOMVERA_TEST_DOMAIN_SKIP
#                                      saying why there is no controller),
#                                      inside the member host's mounts when
#                                      one was joined
#
# The controller runs as `samba -i -M single` in a private network namespace
# (only lo) and a private mount namespace with its own tmpfs on /run/samba.
# Everything it writes lies in the temporary folder; the machine's own Samba
# and Kerberos configuration is never read for the domain and never changed.
set -uo pipefail

readonly kRealm=LAB.TEST
readonly kDomain=LAB
readonly kHost=dc1
readonly kMember=HOST1
readonly kAdminPassword='Lab-Admin-2026!'

usage() {
  echo "usage: $0 start|stop STATE | run STATE PROGRAM [ARGS...]" >&2
  exit 2
}

# key=value lines of the state file
state_value() {
  sed -n "s/^$2=//p" "$1" | head -n 1
}

write_skip() {
  printf 'skip=%s\n' "$2" >"$1"
  echo "domain controller: not started: $2"
  exit 0
}

is_pid_of() { # pid program: the process is still that program
  [[ -r /proc/$1/comm ]] && [[ $(cat "/proc/$1/comm" 2>/dev/null) == "$2" ]]
}

stop_pid() { # pid program
  local pid=$1 program=$2 i
  is_pid_of "$pid" "$program" || return 0
  kill -TERM "$pid" 2>/dev/null
  for ((i = 0; i < 100; i++)); do
    is_pid_of "$pid" "$program" || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null
}

start() {
  local state=$1
  rm -f "$state"
  [[ $(id -u) -eq 0 ]] || write_skip "$state" "the domain tests need root (namespaces, the controller's files)"
  local tool
  for tool in samba samba-tool unshare nsenter ip; do
    command -v "$tool" >/dev/null || write_skip "$state" "$tool is not installed (scripts/setup installs it)"
  done
  [[ -d /usr/share/samba/setup ]] || write_skip "$state" "samba-ad-provision is not installed (scripts/setup installs it)"
  [[ -d /run/samba ]] || write_skip "$state" "/run/samba is missing (the samba packages make it)"

  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/nomvera-dc.XXXXXX") || exit 1
  printf 'dir=%s\n' "$dir" >"$state"
  # A start that fails half-way leaves nothing running and nothing behind.
  trap 'stop "$state"' EXIT
  mkdir -p "$dir/run" "$dir/log"
  : >"$dir/empty.conf"
  if ! samba-tool domain provision -s "$dir/empty.conf" --targetdir="$dir" \
    --realm=$kRealm --domain=$kDomain --server-role=dc --dns-backend=SAMBA_INTERNAL \
    --use-rfc2307 --adminpass="$kAdminPassword" --host-name=$kHost --host-ip=127.0.0.1 \
    --option="interfaces = lo" --option="bind interfaces only = yes" \
    --option="pid directory = $dir/run" --option="ncalrpc dir = $dir/run/ncalrpc" \
    --option="ntp signd socket directory = $dir/run/ntp_signd" \
    --option="log file = $dir/log/log.%m" >"$dir/log/provision.out" 2>&1; then
    echo "domain controller: provision failed:" >&2
    tail -n 20 "$dir/log/provision.out" >&2
    exit 1
  fi
  # Provision copies the machine's first resolver as a forwarder; the
  # controller must ask nobody outside. Writes are not synced (tests only).
  # Every sign-in is written to samba.out with the way it was made
  # (Kerberos or NTLM), for the tests that check which one was used.
  sed -i -e '/dns forwarder/d' \
    -e 's/^\[global\]$/[global]\n\tldb:nosync = true\n\tlog level = 1 auth_audit:3/' "$dir/etc/smb.conf"
  samba-tool domain passwordsettings set -H "$dir/private/sam.ldb" --complexity=off \
    --min-pwd-length=0 --history-length=0 --min-pwd-age=0 >>"$dir/log/provision.out" 2>&1 ||
    {
      echo "domain controller: password policy not relaxed" >&2
      exit 1
    }
  # The Kerberos configuration the clients of the tests use.
  cat >"$dir/krb5.conf" <<EOF
[libdefaults]
	default_realm = $kRealm
	dns_lookup_realm = false
	dns_lookup_kdc = false
[realms]
	$kRealm = {
		kdc = 127.0.0.1
		admin_server = 127.0.0.1
	}
[domain_realm]
	.lab.test = $kRealm
	lab.test = $kRealm
EOF
  printf '127.0.0.1 localhost\n127.0.0.1 %s.lab.test %s\n' $kHost $kHost >"$dir/hosts"

  # The holder keeps the namespaces; everything else joins it.
  setsid unshare -n -m --propagation private sleep infinity </dev/null >/dev/null 2>&1 &
  local holder=$!
  printf 'holder=%s\n' "$holder" >>"$state"
  sleep 0.2
  if ! nsenter -t "$holder" -n -m sh -c "ip link set lo up && mount -t tmpfs -o mode=0755 tmpfs /run/samba && mount --bind '$dir/hosts' /etc/hosts"; then
    echo "domain controller: namespaces not prepared" >&2
    exit 1
  fi
  setsid nsenter -t "$holder" -n -m samba -i -M single -s "$dir/etc/smb.conf" \
    </dev/null >"$dir/log/samba.out" 2>&1 &
  local samba=$!
  printf 'samba=%s\nrealm=%s\ndomain=%s\nhost=%s.lab.test\nadmin=Administrator\npassword=%s\n' \
    "$samba" $kRealm $kDomain $kHost "$kAdminPassword" >>"$state"
  printf 'username = Administrator\npassword = %s\ndomain = %s\n' "$kAdminPassword" $kDomain \
    >"$dir/admin.credentials"
  chmod 0600 "$dir/admin.credentials"
  local i
  for ((i = 0; i < 120; i++)); do
    # Until setsid and nsenter have run on into samba, the pid still
    # names them: that is no end.
    if ! is_pid_of "$samba" samba && ! is_pid_of "$samba" setsid &&
      ! is_pid_of "$samba" nsenter; then
      echo "domain controller: samba ended at start:" >&2
      tail -n 20 "$dir/log/samba.out" >&2
      exit 1
    fi
    if nsenter -t "$holder" -n -m samba-tool user list -H ldap://127.0.0.1 \
      -U "Administrator%$kAdminPassword" >/dev/null 2>&1; then
      echo "domain controller: $kDomain ($kHost.lab.test) in $dir, holder $holder, samba $samba"
      join_member "$state" "$dir" "$holder"
      trap - EXIT
      exit 0
    fi
    sleep 0.5
  done
  echo "domain controller: no answer after 60 s" >&2
  exit 1
}

# A member host of the domain beside the controller: its own netbios name,
# configuration and state in the temporary folder, joined with `net ads join`
# and served by its own winbindd. It shares the controller's network
# namespace and has a mount namespace of its own below the controller's,
# with its own /run/samba (where winbind's clients find its socket). The
# tests run in it. A member that cannot be joined is recorded with the
# reason; the controller stays usable.
join_member() {
  local state=$1 dir=$2 holder=$3
  local member=$dir/member
  [[ -n $dir && -d $dir ]] || return 0
  mkdir -p "$member"/{state,cache,private,lock,run,log}
  cat >"$member/smb.conf" <<MEMBER
[global]
	netbios name = $kMember
	workgroup = $kDomain
	realm = $kRealm
	security = ads
	kerberos method = secrets only
	dedicated keytab file = $member/private/krb5.keytab
	state directory = $member/state
	cache directory = $member/cache
	private dir = $member/private
	lock directory = $member/lock
	pid directory = $member/run
	ncalrpc dir = $member/run/ncalrpc
	log file = $member/log/log.%m
	interfaces = lo
	bind interfaces only = yes
	idmap config * : backend = tdb
	idmap config * : range = 3000000-3999999
	idmap config $kDomain : backend = rid
	idmap config $kDomain : range = 2000000-2999999
	template homedir = /home/%U
	template shell = /bin/false
MEMBER
  setsid nsenter -t "$holder" -n -m unshare -m --propagation private sleep infinity \
    </dev/null >/dev/null 2>&1 &
  local mount_holder=$!
  sleep 0.2
  if ! nsenter -t "$mount_holder" -n -m mount -t tmpfs -o mode=0755 tmpfs /run/samba; then
    printf 'member_skip=%s\n' "the member host's namespace was not prepared" >>"$state"
    return 0
  fi
  printf 'member=%s\n' "$mount_holder" >>"$state"
  if ! nsenter -t "$mount_holder" -n -m env KRB5_CONFIG="$dir/krb5.conf" net ads join \
    -s "$member/smb.conf" -U "Administrator%$kAdminPassword" -S $kHost.lab.test --no-dns-updates \
    >"$member/log/join.out" 2>&1; then
    printf 'member_skip=%s\n' "net ads join failed: $(tail -n 1 "$member/log/join.out")" >>"$state"
    return 0
  fi
  setsid nsenter -t "$mount_holder" -n -m env KRB5_CONFIG="$dir/krb5.conf" \
    winbindd -F --no-process-group -s "$member/smb.conf" </dev/null >"$member/log/winbindd.out" 2>&1 &
  local winbindd=$! i
  for ((i = 0; i < 60; i++)); do
    if nsenter -t "$mount_holder" -n -m wbinfo -t >/dev/null 2>&1; then
      printf 'member_conf=%s\n' "$member/smb.conf" >>"$state"
      echo "domain controller: member host $kMember joined, winbindd $winbindd"
      return 0
    fi
    sleep 0.5
  done
  printf 'member_skip=%s\n' "the member's winbindd gave no answer after 30 s" >>"$state"
}

stop() {
  local state=$1
  [[ -f $state ]] || return 0
  local dir holder samba
  dir=$(state_value "$state" dir)
  holder=$(state_value "$state" holder)
  samba=$(state_value "$state" samba)
  [[ -n $samba ]] && stop_pid "$samba" samba
  # What samba started on its own (samba-dcerpcd and its helpers) lives on
  # in the holder's network namespace: every process there but the holder.
  if [[ -n $holder ]] && is_pid_of "$holder" sleep; then
    local namespace pid
    namespace=$(readlink "/proc/$holder/ns/net")
    # A holder pid taken over by another program: never the machine's namespace.
    [[ $namespace == "$(readlink /proc/self/ns/net)" ]] && namespace=none
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
      [[ $pid == "$holder" ]] && continue
      if [[ $(readlink "/proc/$pid/ns/net" 2>/dev/null) == "$namespace" ]]; then
        stop_pid "$pid" "$(cat "/proc/$pid/comm" 2>/dev/null)"
      fi
    done
  fi
  [[ -n $holder ]] && stop_pid "$holder" sleep
  # Only the folder start made: a nomvera-dc.* folder of root's.
  if [[ -n $dir && -d $dir && ! -L $dir && $(basename "$dir") == nomvera-dc.* &&
    $(stat -c %u "$dir") -eq 0 ]]; then
    rm -rf --one-file-system -- "$dir"
  fi
  rm -f "$state"
}

run() {
  local state=$1
  shift
  local skip="" holder=""
  if [[ ! -f $state ]]; then
    skip="no domain controller was started (the domain_controller fixture did not run)"
  else
    skip=$(state_value "$state" skip)
    holder=$(state_value "$state" holder)
    if [[ -z $skip ]] && ! is_pid_of "$holder" sleep; then
      skip="the domain controller's namespaces are gone"
    fi
  fi
  if [[ -n $skip ]]; then
    NOMVERA_TEST_DOMAIN_SKIP="$skip" exec "$@"
  fi
  local dir program member
  dir=$(state_value "$state" dir)
  # Inside the member host when there is one (the controller's network, the
  # member's mounts): its winbind answers there.
  member=$(state_value "$state" member)
  if [[ -n $member ]] && is_pid_of "$member" sleep; then
    holder=$member
  fi
  # nsenter starts in /: the program by its absolute path.
  program=$(realpath -- "$1")
  shift
  NOMVERA_TEST_DOMAIN="$(realpath -- "$state")" KRB5_CONFIG="$dir/krb5.conf" \
    exec nsenter -t "$holder" -n -m --wd="$PWD" "$program" "$@"
}

(($# >= 2)) || usage
case $1 in
start) start "$2" ;;
stop) stop "$2" ;;
run)
  state=$2
  shift 2
  (($# >= 1)) || usage
  run "$state" "$@"
  ;;
*) usage ;;
esac
