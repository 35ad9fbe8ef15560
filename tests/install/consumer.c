/* Opens a waveform file through the installed reader library. */
#include <stdio.h>
#include <wavtrex/wfx.h>

int main(int argc, char** argv) {
    uint32_t status = 0;
    WaveformDataset* ds =
        wfxOpen(argc > 1 ? argv[1] : "", WFX_DETECT_FORMAT, WFX_DETECT_MODE, &status);
    if (ds == NULL) return printf("status %u: %s\n", status, wfxLastErrorText()) < 0 ? 2 : 1;
    printf("%s, %d signals\n", wfxFormatName(ds->dataFormat), (int)ds->signalCount);
    return wfxClose(ds) == 1 ? 0 : 1;
}
