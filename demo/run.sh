#!/bin/sh
# Shows the banner and usage until the converter's demo sample exists.
"$1" -v
"$1" || true
