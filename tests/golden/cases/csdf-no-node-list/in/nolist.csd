#H
NODES='2' 

