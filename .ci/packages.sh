# Sourced by .ci/run and its stages: installs the Debian packages named, quietly, when any of them
# is missing. Idempotent.
ensure_packages() {
  local missing=()
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # apt-get says what it does on both streams; shown only when it fails.
    local log
    log=$(mktemp)
    if ! { apt-get update -qq && apt-get install -y -qq "${missing[@]}"; } >"$log" 2>&1; then
      cat "$log"
      rm -f "$log"
      echo "== installing ${missing[*]} failed"
      return 1
    fi
    rm -f "$log"
  fi
}

# Generates the locales named ("en_US.ISO-8859-1"; the character set after the dot) where the
# system lacks them. Idempotent; needs the locales package.
ensure_locales() {
  local name
  for name in "$@"; do
    if ! locale -a 2>/dev/null | grep -qix "$(echo "$name" | sed 's/-//g')"; then
      echo "== generating locale $name"
      localedef -i "${name%%.*}" -f "${name#*.}" "$name" 2>/dev/null || true
    fi
  done
}
