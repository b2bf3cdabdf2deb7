#include "support/logcapture.h"

LogCapture::LogCapture() : m_previous(CurrentLogSink()) {
    SetLogSink(this);
}

LogCapture::~LogCapture() {
    SetLogSink(m_previous);
}
