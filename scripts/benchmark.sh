#!/usr/bin/env bash
# Builds and runs the benchmarks: loading a search answer into a JSON document, one 50-song
# query against the test music service (no delay and 20 ms per answer), and the running
# program's memory after such a query. Everything stays on 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
cmake --build build --target json_benchmark search_benchmark -j"$(nproc)" >/dev/null

echo "== loading and reading a 50-song answer"
build/json/json_benchmark --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
echo "== one query"
build/service/search_benchmark 5
echo "== the program"
python3 e2e/measure_memory.py --program build/app/quorvo --cert-dir build/testservice/certs
