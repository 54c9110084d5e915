# Sourced by the benchmarks: build_cli builds the release kestrune-cli ($root/build/release)
# when $cli does not exist yet. Needs $root and $cli.
build_cli() {
    if [ ! -x "$cli" ]; then
        echo "Building kestrune-cli (release)..." >&2
        cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DKESTRUNE_BUILD_TESTS=OFF >/dev/null
        cmake --build "$root/build/release" --target kestrune-cli -j2 >/dev/null
    fi
}

# build_bench TARGET...: builds the benchmark programs (and anything else named) in the release
# build in $root/build/bench, which has the tests' targets, where the benchmark programs live.
build_bench() {
    cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_BUILD_TESTS=ON >/dev/null
    cmake --build "$root/build/bench" --target "$@"
}
