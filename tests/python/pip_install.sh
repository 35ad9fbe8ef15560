#!/bin/sh
# pip install --no-build-isolation of the source tree into a fresh virtual
# environment that sees the system's packages, offline; then the package
# layer's tests against what pip installed, and wavtrex-batch converting with
# the programs pip put beside it, the environment not activated.
#   sh pip_install.sh PYTHON SCRATCH_DIR SAMPLE_WRITER
set -e
python=$1 scratch=$2 sample=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$scratch"
"$python" -m venv --system-site-packages "$scratch/venv"
cd "$here/../.."
"$scratch/venv/bin/pip" install -q --no-build-isolation --no-index --no-cache-dir . \
    >"$scratch/pip.log" 2>&1 || { cat "$scratch/pip.log"; exit 1; }
cd "$scratch"
"$scratch/venv/bin/python" -m pytest -q -p no:cacheprovider --basetemp "$scratch/tmp" "$here/test_frames.py"
"$sample" sample.tr0
"$scratch/venv/bin/wavtrex-batch" convert --workers 1 sample.tr0
[ -s sample/wavtrex.curlist ] || { echo "FAILED: wavtrex-batch convert wrote no curve list"; exit 1; }
