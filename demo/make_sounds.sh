#!/usr/bin/env bash
# Makes the demo's sounds with SoX: a click for the button, a chime for a collected gem, and a
# quiet music loop of four chords. The results are committed; run this only to change them.
set -euo pipefail
cd "$(dirname "$0")/data"
mkdir -p sounds
cd sounds
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A short wooden click.
sox -n -r 44100 -c 1 click.wav synth 0.04 sine 1400 sine 700 fade q 0.002 0.04 0.035 vol 0.6
# Three rising notes for a gem.
sox -n -r 44100 -c 1 "$tmp/n1.wav" synth 0.09 pluck C6 fade q 0.003 0.09 0.06
sox -n -r 44100 -c 1 "$tmp/n2.wav" synth 0.09 pluck E6 fade q 0.003 0.09 0.06
sox -n -r 44100 -c 1 "$tmp/n3.wav" synth 0.25 pluck G6 fade q 0.003 0.25 0.2
sox "$tmp/n1.wav" "$tmp/n2.wav" "$tmp/n3.wav" match.wav vol 0.7
# The music: four soft chords of six seconds each, in stereo Ogg Vorbis.
chords=("A2 C4 E4" "F2 A3 C4" "C3 E4 G4" "G2 B3 D4")
parts=()
for i in "${!chords[@]}"; do
  read -r a b c <<<"${chords[$i]}"
  sox -n -r 22050 -c 2 "$tmp/c$i.wav" synth 6 sine "$a" sine "$b" sine "$c" tremolo 0.3 40 \
    fade q 1 6 1.5 vol 0.25
  parts+=("$tmp/c$i.wav")
done
sox "${parts[@]}" -C 3 music.ogg
ls -l
