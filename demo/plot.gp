# Plots the demo's curves from the .cur files the converter wrote.
#   gnuplot -e "folder='build/demo-run/rc_ladder'" demo/plot.gp > rc_ladder.png
if (!exists("folder")) folder = "build/demo-run/rc_ladder"
set terminal pngcairo size 800,450 font "sans,10"
# A curve file's header lines start with "*" or with the "n1 ..." line.
set datafile commentschars "*n"
set title "RC ladder step response, as converted by wavtrex"
set xlabel "time (us)"
set ylabel "voltage (V)"
set key right bottom
set yrange [0:1.1]
set grid
plot for [node in "in mid1 mid2 out"] sprintf("%s/%s.cur", folder, node) \
     using ($1 * 1e6):2 with lines linewidth 2 title node
