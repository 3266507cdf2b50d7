#!/usr/bin/env bash
# Checks that each given .exe imports no DLL beyond Windows' own: anything
# else would be missing on a user's machine. Prints each program's imports;
# exits non-zero when one needs a foreign DLL.
#
#   tools/windows/check_system_dlls.sh PROGRAM.exe...
set -euo pipefail

system_dlls='^(kernel32|msvcrt|ucrtbase|user32|advapi32|ws2_32|shell32|ole32|ntdll|bcrypt|winmm|api-ms-win-[a-z0-9-]+)\.dll$'
status=0
for exe in "$@"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print $3 }')
  foreign=$(grep -viE "$system_dlls" <<<"$dlls" || true)
  if [[ -n "$foreign" ]]; then
    echo "$(basename "$exe") needs DLLs a bare Windows lacks: $(tr '\n' ' ' <<<"$foreign")" >&2
    status=1
  fi
  echo "$(basename "$exe"): $(tr '\n' ' ' <<<"$dlls")"
done
exit "$status"
