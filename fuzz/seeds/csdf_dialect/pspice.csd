#H
SOURCE='PSpice' VERSION='1'
TITLE='it's generated' SUBTITLE='Step 1: R1 = 100'
ANALYSIS='Transient Analysis' COMPLEXVALUES='NO' NODES='2'
SWEEPVAR='Time'
#N
'V(a)' 'I(V1)'
#C 0 2
0:1
1:2
#C 1e-09 2
0.5:1
1.5:2
#;
#H
SOURCE='PSpice' VERSION='1'
TITLE='it's generated' SUBTITLE='Step 2: R1 = 200'
ANALYSIS='Transient Analysis' COMPLEXVALUES='NO' NODES='2'
SWEEPVAR='Time'
#N
'V(a)' 'I(V1)'
#C 0 2
1:1
2:2
#C 1e-09 2
1.5:1
2.5:2
#;
