<CurveExtraction FileName="w.csd">
<Curve Node="v(a)" CurveFileName="x.cur"/>
<Curve Node="v(b)" CurveFileName="none/b.cur"/>
<Curve Node="v(c)" CurveFileName="x.cur"/>
<Curve Node="v(d)" CurveFileName="d.cur"/>
<Curve Node="v(e)" CurveFileName="e.cur"/>
<Curve Node="v(f)" CurveFileName="f.cur"/>
<Curve Node="v(g)" CurveFileName="g.cur"/>
<Curve Node="v(h)" CurveFileName="h.cur"/>
<Curve Node="v(h)" CurveFileName="h2.cur"/>
<Curve Node="i(k)" CurveFileName="k.cur"/>
<Curve Node="i(m)" CurveFileName="none/m.cur"/>
<Curve Node="v(t)" CurveFileName="./d.cur"/>
<Curve Node="v(t)" CurveFileName="t.cur"/>
</CurveExtraction>
