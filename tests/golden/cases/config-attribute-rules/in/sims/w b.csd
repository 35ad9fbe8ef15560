#H 
SOURCE='wavtrex' VERSION='2001.2' 
ANALYSIS='TR' SERIALNO='1' 
SWEEPVAR='TIME' 
NODES='6' 
#N 'v(a)' 'v(b)' 'v(c)' 'v(d)' 'v(e)' 'v(t)' 
#C 0 6 
1 2 3 4 5 6 
#C 1e-09 6 
-1 -2 -3 -4 -5 -6 
#;
