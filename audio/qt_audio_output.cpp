// The sound module: the desktop's default sound output through Qt
// Multimedia. The program loads it the first time sound is asked for, so
// that starting the program never pays for the media stack.

#include "sound/audio_output.h"
#include "sound/pluck.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QMediaDevices>

#include <cstring>
#include <memory>
#include <utility>

namespace fretmap {
namespace {

// QAudio::Error as a reader of the message would put it.
std::string describe(QAudio::Error error)
{
    switch (error) {
    case QAudio::NoError: return {};
    case QAudio::OpenError: return "the sound output could not be opened";
    case QAudio::IOError: return "the sound output failed while playing";
    case QAudio::UnderrunError: return "the sound output ran out of data";
    case QAudio::FatalError: return "the sound output stopped with a fatal error";
    }
    return "the sound output failed";
}

class QtAudioOutput final : public AudioOutput {
public:
    QtAudioOutput(QAudioDevice device, QAudioFormat format)
        : m_device(std::move(device))
        , m_format(format)
    {
    }

    ~QtAudioOutput() override { stop(); }

    QtAudioOutput(const QtAudioOutput&) = delete;
    QtAudioOutput& operator=(const QtAudioOutput&) = delete;

    int sampleRate() const override { return m_format.sampleRate(); }

    std::string play(std::vector<std::int16_t> samples) override
    {
        stop();
        const std::size_t bytes = samples.size() * sizeof(std::int16_t);
        m_data.resize(static_cast<qsizetype>(bytes));
        std::memcpy(m_data.data(), samples.data(), bytes);
        m_buffer.setBuffer(&m_data);
        m_buffer.open(QIODevice::ReadOnly);
        // A new sink for every sound: Qt 6.4's PulseAudio sink opens each
        // restarted stream with half the buffer of the last, until it plays
        // nothing, and one given a buffer size of its own stalls.
        m_sink = std::make_unique<QAudioSink>(m_device, m_format);
        m_sink->start(&m_buffer);
        return describe(m_sink->error());
    }

    void stop() override
    {
        if (m_sink) {
            // Qt 6.4's PulseAudio sink runs the event loop while it drains its
            // stream on stopping, and a feed it had queued for itself then
            // reaches the stream it has just let go, which aborts the
            // program: what it had queued goes first.
            QCoreApplication::removePostedEvents(m_sink.get());
            for (QObject* part : m_sink->findChildren<QObject*>())
                QCoreApplication::removePostedEvents(part);
            m_sink->stop();
        }
        m_sink.reset();
        m_buffer.close();
    }

    std::size_t samplesWritten() const override
    {
        return m_buffer.isOpen() ? static_cast<std::size_t>(m_buffer.pos()) / sizeof(std::int16_t) : 0;
    }

private:
    QAudioDevice m_device;
    QAudioFormat m_format;
    std::unique_ptr<QAudioSink> m_sink; // the current sound's
    QByteArray m_data;
    QBuffer m_buffer;
};

} // namespace
} // namespace fretmap

extern "C" Q_DECL_EXPORT fretmap::AudioOutput* fretmapCreateAudioOutput(std::string* problem)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        *problem = "no sound output was found; start the desktop's sound server (PulseAudio, or PipeWire "
                   "with its PulseAudio service pipewire-pulse), or install pulseaudio";
        return nullptr;
    }
    QAudioFormat format;
    // The device's own rate, where a render can use it, saves the server a
    // conversion.
    const int preferred = device.preferredFormat().sampleRate();
    format.setSampleRate(preferred >= fretmap::kMinSampleRate && preferred <= fretmap::kMaxSampleRate ? preferred : 48000);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        *problem = "the sound output \"" + device.description().toStdString() + "\" refuses 16-bit mono sound at "
            + std::to_string(format.sampleRate()) + " Hz; choose another output in the desktop's sound settings";
        return nullptr;
    }
    return new fretmap::QtAudioOutput(device, format);
}
