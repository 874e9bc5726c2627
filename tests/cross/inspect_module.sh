#!/usr/bin/env bash
# Inspects one cross-built module file with the binary tools of the build
# machine: its format and processor, its export table, what it imports, and
# the res/ folder beside it; and the kestrelwood programs that go into the
# Blender zip: what they need from the system they run on.
#   inspect_module.sh CHECK FILE [RES_SOURCE | DOC]
# CHECK is one of pe64, pe32, macho64 (format and processor), pe-exports,
# pe-imports, macho-exports, macho-undefined, res; for the programs
# pe-program-imports (Windows x64: system DLLs only), elf-needed (Linux:
# the C library's own libraries only) and elf-glibc (the newest glibc
# symbol version it needs is no newer than the "glibc X.Y" that DOC states).
# Exit 0: the check holds; 1: it does not (the reason on stderr);
# 77: the file or a tool is missing, so the check is skipped.
set -uo pipefail

check=${1:?check}
file=${2:?file}
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $file: $*" >&2; exit 1; }
[ -f "$file" ] || skip "$file not built (run the cross presets first, see docs/cross-builds.md)"

# Tools: mingw-w64's objdump reads both PE flavours; LLVM's tools read Mach-O.
tool() {
  local t
  for t in "$@"; do command -v "$t" >/dev/null 2>&1 && { echo "$t"; return; }; done
  return 1
}
pe_objdump() { tool x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump || skip "no mingw-w64 objdump"; }
llvm_objdump() { tool llvm-objdump-14 llvm-objdump || skip "no llvm-objdump"; }
llvm_nm() { tool llvm-nm-14 llvm-nm || skip "no llvm-nm"; }

# The names in a PE file's export name table, one a line.
pe_export_names() {
  "$(pe_objdump)" -p "$file" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p'
}

case "$check" in
  pe64 | pe32)
    [ "$check" = pe64 ] && want_fmt=pei-x86-64 want_magic=020b || want_fmt=pei-i386 want_magic=010b
    head=$("$(pe_objdump)" -p "$file") || fail "not readable as PE"
    grep -q "file format $want_fmt\$" <<<"$head" || fail "not $want_fmt: $(grep -m1 'file format' <<<"$head")"
    grep -Eq "^Magic[[:space:]]+$want_magic" <<<"$head" || fail "optional header magic is not $want_magic"
    sed -n '/^Characteristics/,/^$/p' <<<"$head" | grep -Eq '^[[:space:]]+DLL$' || fail "not a DLL"
    ;;
  pe-exports)
    names=$(pe_export_names)
    [ "$names" = "c4d_main" ] || fail "exports must be exactly c4d_main, found: $(echo $names)"
    ;;
  pe-imports)
    # System DLLs only: the C runtime and the compiler runtime are linked in.
    dlls=$("$(pe_objdump)" -p "$file" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p')
    [ -n "$dlls" ] || fail "imports no DLL at all (import table unreadable?)"
    while read -r dll; do
      case "${dll,,}" in
        kernel32.dll | msvcrt.dll) ;;
        *) fail "imports $dll; only KERNEL32.dll and msvcrt.dll are allowed" ;;
      esac
    done <<<"$dlls"
    ;;
  pe-program-imports)
    head=$("$(pe_objdump)" -p "$file") || fail "not readable as PE"
    grep -q "file format pei-x86-64\$" <<<"$head" || fail "not a Windows x64 program"
    sed -n '/^Characteristics/,/^$/p' <<<"$head" | grep -Eq '^[[:space:]]+DLL$' && fail "a DLL, not a program"
    # The DLLs every Windows has; the C++, compiler and thread runtimes
    # (libstdc++-6, libgcc_s_seh-1, libwinpthread-1) must be linked in.
    dlls=$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$head")
    [ -n "$dlls" ] || fail "imports no DLL at all (import table unreadable?)"
    while read -r dll; do
      case "${dll,,}" in
        kernel32.dll | msvcrt.dll | advapi32.dll | user32.dll | shell32.dll | ole32.dll | ws2_32.dll | bcrypt.dll | \
          ntdll.dll | shlwapi.dll | api-ms-win-*.dll) ;;
        *) fail "imports $dll, which is no Windows system DLL" ;;
      esac
    done <<<"$dlls"
    ;;
  elf-needed)
    head=$(readelf -h "$file" 2>/dev/null) || fail "not readable as ELF"
    grep -Eq 'Machine:[[:space:]]+Advanced Micro Devices X86-64' <<<"$head" || fail "not an x86-64 program"
    needed=$(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    while read -r lib; do
      [ -n "$lib" ] || continue
      case "$lib" in
        libc.so.6 | libm.so.6 | libpthread.so.0 | libdl.so.2 | ld-linux-x86-64.so.2) ;;
        *) fail "needs $lib; only the C library's own (libc, libm, libpthread, libdl, the loader) are allowed" ;;
      esac
    done <<<"$needed"
    ;;
  elf-glibc)
    doc=${3:?doc}
    stated=$(grep -oE 'glibc [0-9]+\.[0-9]+' "$doc" | head -1 | cut -d' ' -f2)
    [ -n "$stated" ] || fail "$doc states no \"glibc X.Y\""
    newest=$(readelf --dyn-syms -W "$file" | grep -oE '@GLIBC_[0-9]+\.[0-9]+(\.[0-9]+)?' | sed 's/@GLIBC_//' | sort -V | tail -1)
    [ -n "$newest" ] || fail "no glibc symbol versions found"
    [ "$(printf '%s\n%s\n' "$newest" "$stated" | sort -V | tail -1)" = "$stated" ] ||
      fail "needs glibc $newest, newer than the glibc $stated that $(basename "$doc") states"
    echo "glibc: needs $newest, $(basename "$doc") states $stated"
    ;;
  macho64)
    hdr=$("$(llvm_objdump)" --macho --private-header "$file" 2>&1) || fail "not readable as Mach-O"
    line=$(grep -A1 'magic' <<<"$hdr" | tail -1)
    read -r magic cpu _ _ filetype _ <<<"$line"
    [ "$magic" = MH_MAGIC_64 ] || fail "not a 64-bit Mach-O file: $line"
    [ "$cpu" = X86_64 ] || fail "processor is $cpu, not X86_64"
    [ "$filetype" = DYLIB ] || fail "file type is $filetype, not DYLIB"
    # Links against no library at all: dyld binds every import by name.
    libs=$("$(llvm_objdump)" --macho --private-headers "$file" |
      awk '$1 == "cmd" && $2 ~ /^LC_(LOAD|LOAD_WEAK|REEXPORT|LAZY_LOAD|LOAD_UPWARD)_DYLIB$/ {getline; getline; print $2}')
    [ -z "$libs" ] || fail "links against libraries: $(echo $libs)"
    ;;
  macho-exports)
    trie=$("$(llvm_objdump)" --macho --exports-trie "$file" | awk '/^0x/ {print $2}')
    [ "$trie" = "_c4d_main" ] || fail "export trie must hold exactly _c4d_main, found: $(echo $trie)"
    ext=$("$(llvm_nm)" -m --defined-only --extern-only "$file" | awk '{print $NF}')
    [ "$ext" = "_c4d_main" ] || fail "external defined symbols must be exactly _c4d_main, found: $(echo $ext)"
    ;;
  macho-undefined)
    # What the platform provides when the host loads the module; see
    # docs/cross-builds.md for why each is there. KW_MACHO_ALLOWED replaces
    # the list (the checker's own tests use it).
    allowed=${KW_MACHO_ALLOWED:-"_sin _cos _asin _acos _atan _sqrt _floor _floorf _malloc _free
      _memset _memcpy _memmove ___bzero ___cxa_atexit dyld_stub_binder"}
    undefined=$("$(llvm_nm)" -m --undefined-only "$file")
    while read -r line; do
      [ -n "$line" ] || continue
      sym=$(awk '{print $3}' <<<"$line")
      grep -qw -- "$sym" <<<"$allowed" || fail "undefined symbol $sym is not one the platform is known to provide"
      grep -q 'dynamically looked up' <<<"$line" || fail "$sym is bound to a library, not looked up at load"
    done <<<"$undefined"
    ;;
  res)
    src=${3:?res source}
    res=$(dirname "$file")/res
    [ -d "$res" ] || fail "no res/ folder beside the module"
    diff -r "$src" "$res" >&2 || fail "res/ beside the module differs from $src"
    ;;
  *)
    echo "unknown check $check" >&2
    exit 2
    ;;
esac
echo "ok: $check $(basename "$file")"
