#H
NODES='2' 
#N 'v(a)' 'v(b)' 
#C 0 2 1 
