#H 
SOURCE='wavtrex' VERSION='2001.2' 
ANALYSIS='TR' SERIALNO='1' 
SWEEPVAR='TIME' 
NODES='11' 
#N 'v(a)' 'v(b)' 'v(c)' 'v(d)' 'v(e)' 'v(f)' 'v(g)' 'v(h)' 'i(k)' 'i(m)' 'v(t)' 
#C 0 11 
1 2 3 4 5 6 7 8 9 10 11 
#C 0 11 
2 2 2 2 2 2 2 2 2 2 2 
#C 1e-09 11 
0.5 0.25 0.125 2 3 4 5 6 7 8 9 
#;
