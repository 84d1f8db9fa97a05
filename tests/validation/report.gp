# Plots of the validation report. Called by scripts/validation-report.sh as
#   gnuplot -e "data='<data dir>'; out='<png dir>'" report.gp
set terminal pngcairo size 1500,450 font ",10"
set key inside top right vertical
set grid

# Shock tubes: density, velocity, pressure at 200 cells.
set terminal pngcairo size 1500,500 font ",10"
set key below horizontal
do for [key in "sod strong rarefactions"] {
  set output out.'/'.key.'.png'
  set multiplot layout 1,3 title key eq "sod" ? "Sod's shock tube, 200 cells, t = 0.2" : \
      (key eq "strong" ? "Strong shock, 200 cells, t = 0.012" : "Two rarefactions, 200 cells, t = 0.15")
  own = data.'/'.key.'-own.dat'
  quarter = data.'/'.key.'-quarter.dat'
  do for [col=2:4] {
    set xlabel 'x'
    set ylabel (col == 2 ? 'density' : (col == 3 ? 'velocity' : 'pressure'))
    plot own u 1:(column(col+3)) w l lw 2 lc rgb 'black' t 'exact', \
         own u 1:col w p pt 7 ps 0.5 lc rgb '#1f77b4' t "drivers' step", \
         quarter u 1:col w p pt 6 ps 0.5 lc rgb '#d62728' t 'Courant 0.25'
  }
  unset multiplot
}

# Convergence of the density error.
set key inside top right vertical
set terminal pngcairo size 800,550 font ",10"
set output out.'/convergence.png'
set logscale xy
set xlabel 'cells'
set ylabel 'L1 error of density'
set title "L1 density error, drivers' own sub-step"
set xrange [80:1000]
plot data.'/sod-convergence.dat' u 1:2 w lp pt 7 t "Sod", \
     data.'/strong-convergence.dat' u 1:2 w lp pt 5 t "strong shock", \
     data.'/rarefactions-convergence.dat' u 1:2 w lp pt 9 t "two rarefactions", \
     0.17*100/x w l dt 2 lc rgb 'gray' t 'first order'
unset logscale
unset xrange
unset title

# Steady friction.
set terminal pngcairo size 1500,450 font ",10"
set output out.'/isothermal.png'
set multiplot layout 1,2 title "Isothermal flow, 100 cells"
set xlabel 'distance km'
set ylabel 'pressure bar'
plot data.'/isothermal-march.dat' u ($1/1e3):($3/1e5) w l lw 2 lc rgb 'black' t 'isothermal relation', \
     data.'/isothermal-march.dat' u ($1/1e3):($2/1e5) w p pt 7 ps 0.5 t 'steadystate march', \
     data.'/isothermal-settled.dat' u ($1/1e3):($2/1e5) w p pt 6 ps 0.7 t 'settled by steadypipes'
set ylabel 'computed - exact, Pa'
plot data.'/isothermal-march.dat' u ($1/1e3):($2-$3) w lp pt 7 ps 0.4 t 'march', \
     data.'/isothermal-settled.dat' u ($1/1e3):($2-$3) w lp pt 6 ps 0.4 t 'settled'
unset multiplot

set output out.'/fanno.png'
set multiplot layout 1,3 title "Fanno flow, 100 cells"
set xlabel 'distance m'
set ylabel 'pressure bar'
plot data.'/fanno-march.dat' u 1:($3/1e5) w l lw 2 lc rgb 'black' t 'Fanno', \
     data.'/fanno-march.dat' u 1:($2/1e5) w p pt 7 ps 0.5 t 'march', \
     data.'/fanno-settled.dat' u 1:($2/1e5) w p pt 6 ps 0.7 t 'settled'
set ylabel 'temperature K'
plot data.'/fanno-march.dat' u 1:5 w l lw 2 lc rgb 'black' t 'Fanno', \
     data.'/fanno-march.dat' u 1:4 w p pt 7 ps 0.5 t 'march', \
     data.'/fanno-settled.dat' u 1:4 w p pt 6 ps 0.7 t 'settled'
set ylabel 'Mach number'
set key inside top left vertical
plot data.'/fanno-march.dat' u 1:7 w l lw 2 lc rgb 'black' t 'Fanno', \
     data.'/fanno-march.dat' u 1:6 w p pt 7 ps 0.5 t 'march', \
     data.'/fanno-settled.dat' u 1:6 w p pt 6 ps 0.7 t 'settled'
set key inside top right vertical
unset multiplot

# Waves.
set terminal pngcairo size 1100,450 font ",10"
set output out.'/waves.png'
set multiplot layout 1,2 title "Far-end pressure after a 0.1 % step, 200 cells"
set xlabel 'time s'
set ylabel 'far-end pressure change kPa'
set yrange [0:*]
set key inside top left vertical
plot data.'/wave-down.dat' u 1:($2/1e3) w l lw 2 t 'with the flow: outlet', \
     data.'/wave-down-expected.dat' u 1:2 w l dt 2 lc rgb 'black' t 'L/(c+u)'
plot data.'/wave-up.dat' u 1:($2/1e3) w l lw 2 lc rgb '#d62728' t 'against the flow: inlet', \
     data.'/wave-up-expected.dat' u 1:2 w l dt 2 lc rgb 'black' t 'L/(c-u)'
unset multiplot
set yrange [*:*]
set key inside top right vertical

# Gravity.
set output out.'/gravity.png'
set multiplot layout 1,2 title "Closed pipe rising 1 km, settled, 100 cells"
set xlabel 'height m'
set ylabel 'pressure bar'
plot data.'/gravity.dat' u 2:($4/1e5) w l lw 2 lc rgb 'black' t 'isothermal hydrostatic', \
     data.'/gravity.dat' u 2:($3/1e5) w p pt 7 ps 0.5 t 'settled by steadypipes'
set ylabel 'computed - exact, Pa'
plot data.'/gravity.dat' u 2:($3-$4) w lp pt 7 ps 0.4 notitle
unset multiplot

# Balances.
set terminal pngcairo size 1500,450 font ",10"
set output out.'/balance.png'
set multiplot layout 1,3 title "Three-pipe line, six hours, host step 10 s"
set xlabel 'time h'
set ylabel 'since start, t'
set key inside bottom left vertical
plot data.'/balance.dat' u 1:2 w l lw 3 t 'line pack change', \
     data.'/balance.dat' u 1:3 w l lw 1 lc rgb 'black' t 'integral of inflow - outflow'
set ylabel 'since start, GJ'
plot data.'/balance.dat' u 1:4 w l lw 3 t 'energy content change', \
     data.'/balance.dat' u 1:5 w l lw 1 lc rgb 'black' t 'integral of energy flows + wall heat + gravity'
set ylabel 'mass flow kg/s'
set y2label 'pressure bar'
set y2tics
set key inside top left vertical
plot data.'/balance.dat' u 1:6 w l lw 2 t 'inlet flow', \
     data.'/balance.dat' u 1:7 w l lw 2 t 'outlet demand', \
     data.'/balance.dat' u 1:8 axes x1y2 w l dt 2 t 'inlet pressure', \
     data.'/balance.dat' u 1:9 axes x1y2 w l dt 2 t 'outlet pressure'
unset multiplot

# Where the scheme is wrong: bore step, cell ratio, choked vent, imposed
# flows, control switch.
unset y2tics
unset y2label
set terminal pngcairo size 1100,450 font ",10"
set output out.'/borestep.png'
set title "0.6 m into 0.5 m after 1 km, 60 kg/s from 60 bar and 288.15 K, 50 m cells"
set xlabel 'distance km'
set ylabel 'temperature K'
set key inside bottom left vertical
plot data.'/bore-step.dat' u ($1/1e3):3 w l lw 2 lc rgb 'black' t 'exact', \
     data.'/bore-step.dat' u ($1/1e3):2 w lp pt 7 ps 0.5 t 'bore step', \
     data.'/bore-taper.dat' u ($1/1e3):2 w lp pt 6 ps 0.5 t '500 m taper between the bores'

set output out.'/cellratio.png'
set title "Cells of 1000 m next to shorter cells: largest jump of mass flow between neighbouring cells"
set xlabel 'time min'
set ylabel 'largest |m_i - m_{i-1}| / 60 kg/s'
set logscale y
set format y '10^{%L}'
set yrange [1e-6:1e3]
set xrange [0:20]
set key inside top right vertical
plot data.'/cellratio.dat' index 0 u 1:2 w l lw 2 t 'ratio 10', \
     data.'/cellratio.dat' index 1 u 1:2 w l lw 2 t 'ratio 13.5', \
     data.'/cellratio.dat' index 2 u 1:2 w lp pt 7 ps 0.6 lw 2 t 'ratio 14', \
     data.'/cellratio.dat' index 3 u 1:2 w lp pt 5 ps 0.6 lw 2 t 'ratio 20 (cut short in the first step)'
unset logscale y
set format y '% h'
set yrange [*:*]
set xrange [*:*]

unset title
set terminal pngcairo size 1500,450 font ",10"
set output out.'/vent.png'
set multiplot layout 1,3 title "2 km vent, host steps of 0.2 s: without and with the host's choke handling"
set xlabel 'time s'
set ylabel 'Mach number at the outlet end'
set yrange [0:5]
set key inside top right vertical
plot data.'/vent-without.dat' u 1:2 w lp pt 7 ps 0.4 t 'without', \
     data.'/vent-with.dat' u 1:2 w lp pt 6 ps 0.4 t 'with', \
     1 w l dt 2 lc rgb 'black' t 'Mach 1'
set yrange [*:*]
set ylabel 'mass flow leaving kg/s'
set yrange [0:400]
plot data.'/vent-without.dat' u 1:3 w lp pt 7 ps 0.4 t 'without', \
     data.'/vent-with.dat' u 1:3 w lp pt 6 ps 0.4 t 'with'
set yrange [*:*]
set ylabel 'temperature K'
set yrange [0:320]
set key inside bottom right vertical
plot data.'/vent-without.dat' u 1:4 w l lw 2 t 'outlet end, without', \
     data.'/vent-with.dat' u 1:4 w l lw 2 t 'outlet end, with', \
     data.'/vent-without.dat' u 1:5 w l dt 2 t 'coldest cell, without', \
     data.'/vent-with.dat' u 1:5 w l dt 2 t 'coldest cell, with'
set yrange [*:*]
unset multiplot

set terminal pngcairo size 1100,450 font ",10"
set output out.'/imbalance.png'
set title "Line pack change minus the integral of the imposed flows, 60 km line, compressor trip at 10 min"
set xlabel 'time h'
set ylabel 't'
set key inside bottom left vertical
plot data.'/imbalance.dat' index 0 u 1:2 w l lw 2 t '2000 m cells', \
     data.'/imbalance.dat' index 1 u 1:2 w l lw 2 t '1000 m cells', \
     data.'/imbalance.dat' index 2 u 1:2 w l lw 2 t '500 m cells', \
     data.'/imbalance.dat' index 3 u 1:2 w l lw 2 t '250 m cells'

unset title
set output out.'/switch.png'
set multiplot layout 1,2 title "Inlet switched from flow to pressure control at 300 s, host steps of 10 s"
set xlabel 'time s'
set ylabel 'inflow kg/s'
set yrange [-50:100]
set key inside bottom left vertical
plot data.'/switch-zero.dat' u 1:2 w lp pt 7 ps 0.5 t 'host passed 0 before (cut short)', \
     data.'/switch-current.dat' u 1:2 w lp pt 6 ps 0.5 t 'host passed the current values'
set yrange [*:*]
set ylabel 'first cell pressure bar'
set key inside bottom left vertical
set logscale y
plot data.'/switch-zero.dat' u 1:3 w lp pt 7 ps 0.5 t 'host passed 0 before (cut short)', \
     data.'/switch-current.dat' u 1:3 w lp pt 6 ps 0.5 t 'host passed the current values'
unset logscale y
unset multiplot
