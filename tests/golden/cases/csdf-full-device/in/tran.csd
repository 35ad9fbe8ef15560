#H
SOURCE='wavtrex' VERSION='2001.2' 
TITLE='* generated circuit' 
DATE='12/06/2026 10:00:00' 
ANALYSIS='TR' SERIALNO='1' 
SWEEPVAR='TIME' XBEGIN='0' XEND='2e-09' 
COMPLEXVALUES='NO' 
NODES='3' 
#N 'v(out)' 'i(vdd)' 'x1.q' 
#C 0 3 
0.5 0.001 2.5 
#C 1e-09 3 
1.2 -3.3 100 
#C 1e-09 3 
0.25 0.25 0.25 
#C 2e-09 3 
0.1 5e-05 1e+12 
#;
