#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The packed .NET package as users consume it, restored from build/nuget and the fixed package
# folder into a fresh package cache (a repacked 1.0.0 must never come from a stale one):
#   package   what the .nupkg and .snupkg hold and declare
#   xunit     the xunit suite against the recording stand-in
#   apps      an app that gets the package only through a class library, published for
#             linux-x64 (into OUT/linux-x64, for the live test) and win-x64; run against the
#             stand-in, without any client library, and without its native module; and the
#             same app as a .NET Framework program run on Mono with the module beside it
#   unity     the Unity package from scripts/pack-unity.sh: its layout and import settings,
#             its code compiled as Unity compiles it, and run on Mono with its Linux module
# Usage: check_dotnet.sh package|xunit|apps|unity SOURCE_DIR STUB_DIR OUT_DIR
set -u
what=$1
source=$(cd "$2" && pwd)
stub=$3
out=$4
here=$source/tests/dotnet
feed=$source/build/nuget
version=$(sed -n 's/^project(QuivaneDll VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
nupkg=$feed/QuivaneDll.$version.nupkg
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() { [ "$failures" -eq 0 ] || { echo "$failures .NET check(s) failed"; exit 1; }; echo "$1"; exit 0; }
command -v dotnet >/dev/null || { echo "FAIL: the .NET SDK (dotnet) is needed"; exit 1; }
[ "$what" = unity ] || [ -f "$nupkg" ] || { echo "FAIL: no $nupkg: run scripts/pack-dotnet.sh first"; exit 1; }

export NUGET_PACKAGES=$scratch/packages DOTNET_CLI_HOME=$scratch/home DOTNET_NOLOGO=1
build_flags=(-nodeReuse:false -p:UseSharedCompilation=false -p:QuivaneVersion="$version" --nologo -v quiet)
offline=(--source "$feed" --source /opt/nuget/packages)

if [ "$what" = package ]; then
  files=$(unzip -Z1 "$nupkg")
  for f in lib/net10.0/Quivane.dll lib/netstandard2.0/Quivane.dll lib/net10.0/Quivane.xml \
           buildTransitive/net461/QuivaneDll.targets README.md LICENSE; do
    grep -qx "$f" <<<"$files" || fail "the package lacks $f"
  done
  # Each runtime's module, and what `file` must say of it.
  while read -r rid module kind; do
    f=runtimes/$rid/native/$module
    grep -qx "$f" <<<"$files" || { fail "the package lacks $f"; continue; }
    unzip -p "$nupkg" "$f" >"$scratch/module"
    [[ "$(file -b "$scratch/module")" == $kind ]] || fail "$rid module: $(file -b "$scratch/module")"
  done <<'TABLE'
linux-x64      libQuivaneDll.so    ELF 64-bit LSB shared object, x86-64,*, stripped
linux-arm64    libQuivaneDll.so    ELF 64-bit LSB shared object, ARM aarch64,*, stripped
linux-arm      libQuivaneDll.so    ELF 32-bit LSB shared object, ARM, EABI5*, stripped
linux-musl-x64 libQuivaneDll.so    ELF 64-bit LSB shared object, x86-64,*, stripped
win-x64        QuivaneDll.dll      PE32+ executable (DLL)*x86-64*
win-x86        QuivaneDll.dll      PE32 executable (DLL)*Intel 80386*
win-arm64      QuivaneDll.dll      PE32+ executable (DLL)*Aarch64*
osx-arm64      libQuivaneDll.dylib Mach-O universal binary with 2 architectures: *x86_64*arm64*
osx-x64        libQuivaneDll.dylib Mach-O universal binary with 2 architectures: *x86_64*arm64*
TABLE
  unzip -p "$nupkg" runtimes/linux-musl-x64/native/libQuivaneDll.so >"$scratch/musl.so"
  readelf -d "$scratch/musl.so" | grep -q 'NEEDED.*\[libc\.so\]' || fail "the linux-musl-x64 module does not need musl's libc.so"
  nuspec=$(unzip -p "$nupkg" QuivaneDll.nuspec)
  grep -q "<version>$version</version>" <<<"$nuspec" || fail "package version is not $version"
  grep -q '<license type="expression">MIT</license>' <<<"$nuspec" || fail "no MIT licence expression"
  grep -q '<readme>README.md</readme>' <<<"$nuspec" || fail "no package README"
  unzip -Z1 "$feed/QuivaneDll.$version.snupkg" | grep -qx lib/net10.0/Quivane.pdb || fail "the symbols package lacks lib/net10.0/Quivane.pdb"
  finish "package OK: $(basename "$nupkg") and its .snupkg"
fi

if [ "$what" = xunit ]; then
  project=$here/Quivane.Tests
  dotnet restore "$project" "${offline[@]}" "${build_flags[@]}" -p:ArtifactsPath="$scratch/artifacts" \
    || { echo "FAIL: offline restore of the test project"; exit 1; }
  LD_LIBRARY_PATH=$stub dotnet test "$project" --no-restore "${build_flags[@]}" \
    -p:ArtifactsPath="$scratch/artifacts" --logger "console;verbosity=normal" \
    || fail "xunit tests"
  finish "xunit against the packed package OK"
fi

export QUIVANE_STUB_LOG=$scratch/calls.log
# run NAME WANT_EXIT WANT_LINE WANT_LOG COMMAND...: one run of a host, its first line and what
# the stand-in saw.
run() {
  local name=$1 want_exit=$2 want_line=$3 want_log=$4
  shift 4
  rm -f "$QUIVANE_STUB_LOG"
  local got status logged=""
  got=$(timeout 120 "$@" 2>&1)
  status=$?
  [ "$status" -eq "$want_exit" ] || fail "$name: exit $status, want $want_exit: $got"
  [[ "$(head -n 1 <<<"$got")" == $want_line ]] || fail "$name: printed [$got], want [$want_line]"
  [ -f "$QUIVANE_STUB_LOG" ] && logged=$(cat "$QUIVANE_STUB_LOG")
  [ "$logged" = "$want_log" ] || fail "$name: the client library saw [$logged], want [$want_log]"
}
name=$(printf 'K\xc3\xbcche \xe2\x98\x95')
seen="name=$name regtype=_qvdotnet._tcp domain= port=1267 flags=0 if=0 host=(null) txtLen=0"

if [ "$what" = unity ]; then
  tarball=$source/build/unity/com.quivane.quivanedll-$version.tgz
  [ -f "$tarball" ] || { echo "FAIL: no $tarball: run scripts/pack-unity.sh first"; exit 1; }
  /usr/bin/python3 "$source/tests/unity/check_package.py" "$tarball" "$source/CMakeLists.txt" \
    || fail "the tarball's layout or import settings"
  tar -xzf "$tarball" -C "$scratch"
  package=$scratch/package
  dotnet build "$source/tests/unity/UnityCompile" -p:UnityPackageDir="$package" \
    "${build_flags[@]}" -p:ArtifactsPath="$scratch/artifacts-unity" \
    || fail "the runtime code and the sample do not compile as C# 9 against .NET Standard 2.1"
  dotnet build "$source/tests/unity/MonoHost" -c Release -o "$scratch/mono" -p:UnityPackageDir="$package" \
    "${build_flags[@]}" -p:ArtifactsPath="$scratch/artifacts-mono" || fail "the Mono host does not build"
  cp "$package/Runtime/Plugins/Linux/x86_64/libQuivaneDll.so" "$scratch/mono/"
  run "Unity's runtime code on Mono" 0 "RegisterService = True" "$seen" \
    env LD_LIBRARY_PATH="$stub" mono "$scratch/mono/MonoHost.exe" "$name" _qvdotnet._tcp . 4711
  finish "Unity package OK: $(basename "$tarball")"
fi
[ "$what" = apps ] || { echo "usage: check_dotnet.sh package|xunit|apps|unity SOURCE STUB OUT"; exit 2; }

rm -rf "$out"
for rid in linux-x64 win-x64; do
  dotnet publish "$here/App" -r "$rid" --self-contained false -p:UseAppHost=false -c Release \
    -o "$out/$rid" "${offline[@]}" "${build_flags[@]}" -p:ArtifactsPath="$scratch/artifacts-$rid" \
    || { fail "dotnet publish -r $rid"; continue; }
done
unzip -p "$nupkg" runtimes/linux-x64/native/libQuivaneDll.so >"$scratch/linux-x64.native"
unzip -p "$nupkg" runtimes/win-x64/native/QuivaneDll.dll >"$scratch/win-x64.native"
cmp -s "$out/linux-x64/libQuivaneDll.so" "$scratch/linux-x64.native" || fail "publish -r linux-x64 did not put the package's libQuivaneDll.so beside the app"
cmp -s "$out/win-x64/QuivaneDll.dll" "$scratch/win-x64.native" || fail "publish -r win-x64 did not put the package's QuivaneDll.dll beside the app"

app=$out/linux-x64/App.dll
run "app via a class library" 0 "RegisterService = True" "$seen" \
  env LD_LIBRARY_PATH="$stub" dotnet "$app" "$name" _qvdotnet._tcp . 4711
run "refused" 5 "RegisterService = False" "$seen" \
  env LD_LIBRARY_PATH="$stub" QUIVANE_STUB_RESULT=-65540 dotnet "$app" "$name" _qvdotnet._tcp . 4711
run "no client library in reach" 5 "RegisterService = False" "" \
  "$source/tests/unit/without_client.sh" dotnet "$app" "$name" _qvdotnet._tcp . 4711
run "port out of range" 3 "ArgumentOutOfRangeException:*" "" \
  env LD_LIBRARY_PATH="$stub" dotnet "$app" "$name" _qvdotnet._tcp . 65536
cp -r "$out/linux-x64" "$scratch/no-native"
rm "$scratch/no-native/libQuivaneDll.so"
run "native module missing" 3 "PlatformNotSupportedException: *linux-x64*" "" \
  env LD_LIBRARY_PATH="$stub" dotnet "$scratch/no-native/App.dll" "$name" _qvdotnet._tcp . 4711

# .NET Framework: the reference assemblies come from the registry, the package from the feed.
framework=$scratch/framework
dotnet build "$here/FrameworkHost" -c Release -o "$framework" -p:RestoreAdditionalProjectSources="$feed" \
  "${build_flags[@]}" -p:ArtifactsPath="$scratch/artifacts-framework" || fail "the .NET Framework host does not build"
cmp -s "$framework/QuivaneDll.dll" "$scratch/win-x64.native" || fail ".NET Framework build lacks the win-x64 module beside its output"
# The module beside a .NET Framework program matches the process it will run in.
for variant in "x86 false win-x86" "AnyCPU true win-x86" "AnyCPU false win-x64" "ARM64 false win-arm64"; do
  read -r platform prefer rid <<<"$variant"
  dotnet build "$here/FrameworkHost" -c Release -o "$scratch/fw-$platform-$prefer" \
    -p:RestoreAdditionalProjectSources="$feed" -p:PlatformTarget="$platform" -p:Prefer32Bit="$prefer" \
    "${build_flags[@]}" -p:ArtifactsPath="$scratch/artifacts-fw-$platform-$prefer" \
    || { fail ".NET Framework host for $platform (prefer 32-bit $prefer) does not build"; continue; }
  unzip -p "$nupkg" "runtimes/$rid/native/QuivaneDll.dll" | cmp -s - "$scratch/fw-$platform-$prefer/QuivaneDll.dll" \
    || fail ".NET Framework, PlatformTarget $platform, prefer 32-bit $prefer: the module beside it is not $rid's"
done
unzip -p "$nupkg" lib/netstandard2.0/Quivane.dll | cmp -s - "$framework/Quivane.dll" || fail ".NET Framework build did not take the netstandard2.0 assembly"
if command -v mono >/dev/null; then
  cp "$scratch/linux-x64.native" "$framework/libQuivaneDll.so" # beside it, as in Unity's Assets/Plugins
  run "mono, netstandard2.0 assembly" 0 "RegisterService = True" "$seen" \
    env LD_LIBRARY_PATH="$stub" mono "$framework/FrameworkHost.exe" "$name" _qvdotnet._tcp . 4711
else
  fail "mono-runtime is needed to run the netstandard2.0 assembly"
fi
finish ".NET apps OK: publish linux-x64 and win-x64, class library, no client library, no native module, Mono"
