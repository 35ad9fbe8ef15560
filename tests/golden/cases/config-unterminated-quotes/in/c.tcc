<CurveExtraction FileName="missing.tr0>
<VoltageCurveList OutputSubFolder="v>
