#H
SWEEPVAR='TIME' 
NODES='1' 
#N 'v(a)' 
#C 0 1 
1 
#C 0.5 1 
2 
#C 1 1 
3 
#;
#H
SWEEPVAR='TIME' 
NODES='1' 
#N 'v(a)' 
#C 0 1 
10 
#C 0.5 1 
20 
#;
