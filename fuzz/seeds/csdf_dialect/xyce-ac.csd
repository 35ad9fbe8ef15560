#H
SOURCE='Xyce' VERSION='1'
TITLE='it's generated' SUBTITLE='Step 1: R1 = 100'
ANALYSIS='AC' COMPLEXVALUES='YES' NODES='2'
SWEEPVAR='Frequency'
#N
'V(a)' 'I(V1)'
#C 0 2
0/-0:1 1/-0.5:2
#C 1e-09 2
0.5/-0:1 1.5/-0.5:2
#;
#H
SOURCE='Xyce' VERSION='1'
TITLE='it's generated' SUBTITLE='Step 2: R1 = 200'
ANALYSIS='AC' COMPLEXVALUES='YES' NODES='2'
SWEEPVAR='Frequency'
#N
'V(a)' 'I(V1)'
#C 0 2
1/-0:1 2/-0.5:2
#C 1e-09 2
1.5/-0:1 2.5/-0.5:2
#;
