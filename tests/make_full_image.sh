#!/usr/bin/env bash
# Writes IMAGE: a full 1600-sector image the tool leaves as it is ("DSK", 1600 sectors, all in
# use, a pattern elsewhere), and SLOT: the 819200 bytes its slot holds once written.
# Usage: tests/make_full_image.sh IMAGE SLOT
set -euo pipefail
perl -e 'my $d = join "", map { chr(($_ * 7) % 251) } 0 .. 409599;
         substr($d, 10, 2) = "\x06\x40"; substr($d, 13, 3) = "DSK";
         substr($d, 56, 200) = "\xFF" x 200; print $d' >"$1"
perl -e 'local $/; my $d = <STDIN>; print join "", map { substr($d, $_, 1) . "\xE5" } 0 .. length($d) - 1' \
  <"$1" >"$2"
