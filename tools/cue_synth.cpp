// Synthesises the interface cues (welcome, reveal, confirm) as 16-bit mono
// WAV files, so the program ships sounds made here rather than recordings.
// Run at build time: cue-synth OUTPUT_DIR. Output is deterministic.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr double tau = 2 * std::numbers::pi;

// A struck note: a bell-like blend of the fundamental, the octave and one
// soft inharmonic partial, with a short attack and an exponential decay.
void note(std::vector<double>& out, double start, double frequency, double decay, double level)
{
    const auto first = static_cast<std::size_t>(start * rate);
    const double attack = 0.004;
    for (std::size_t i = first; i < out.size(); ++i) {
        const double t = double(i - first) / rate;
        const double envelope = std::min(t / attack, 1.0) * std::exp(-t / decay);
        if (envelope < 1e-5 && t > attack)
            break;
        const double wave = std::sin(tau * frequency * t) + 0.28 * std::sin(tau * 2 * frequency * t)
                            + 0.08 * std::sin(tau * 2.76 * frequency * t) * std::exp(-t / (decay / 3));
        out[i] += level * envelope * wave;
    }
}

// A tone whose pitch glides from one frequency to another.
void glide(std::vector<double>& out, double from, double to, double length, double level)
{
    double phase = 0;
    const auto count = std::min(out.size(), static_cast<std::size_t>(length * rate));
    for (std::size_t i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        const double progress = t / length;
        phase += tau * (from + (to - from) * (1 - (1 - progress) * (1 - progress))) / rate;
        const double envelope = std::min(t / 0.008, 1.0) * std::pow(1 - progress, 2.2);
        out[i] += level * envelope * (std::sin(phase) + 0.15 * std::sin(2 * phase));
    }
}

std::vector<double> welcome()
{
    std::vector<double> s(static_cast<std::size_t>(1.1 * rate));
    note(s, 0.00, 523.25, 0.32, 0.5); // C5
    note(s, 0.11, 783.99, 0.32, 0.42); // G5
    note(s, 0.22, 1046.50, 0.45, 0.36); // C6
    return s;
}

std::vector<double> reveal()
{
    std::vector<double> s(static_cast<std::size_t>(0.3 * rate));
    glide(s, 620, 940, 0.3, 0.55);
    return s;
}

std::vector<double> confirm()
{
    std::vector<double> s(static_cast<std::size_t>(0.32 * rate));
    note(s, 0.00, 880.00, 0.06, 0.45);  // A5
    note(s, 0.07, 1318.51, 0.09, 0.45); // E6
    return s;
}

void put(std::string& bytes, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

bool write(const std::string& path, std::vector<double> samples)
{
    // Peak at 0.8 of full scale; the last 20 ms fade to silence so the cue
    // never ends on a click.
    double peak = 0;
    for (double v : samples)
        peak = std::max(peak, std::abs(v));
    const double gain = peak > 0 ? 0.8 / peak : 0;
    const std::size_t fade = rate / 50;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::size_t left = samples.size() - i;
        samples[i] *= gain * (left < fade ? double(left) / fade : 1.0);
    }

    const auto data = static_cast<std::uint32_t>(samples.size() * 2);
    std::string bytes = "RIFF";
    put(bytes, 36 + data, 4);
    bytes += "WAVEfmt ";
    put(bytes, 16, 4);
    put(bytes, 1, 2); // PCM
    put(bytes, 1, 2); // mono
    put(bytes, rate, 4);
    put(bytes, rate * 2, 4);
    put(bytes, 2, 2);
    put(bytes, 16, 2);
    bytes += "data";
    put(bytes, data, 4);
    for (double v : samples) {
        const auto sample = static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
        put(bytes, static_cast<std::uint16_t>(sample), 2);
    }

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: cue-synth OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = write(dir + "/welcome.wav", welcome()) && write(dir + "/reveal.wav", reveal())
                    && write(dir + "/confirm.wav", confirm());
    if (!ok)
        std::fprintf(stderr, "cue-synth: cannot write to %s\n", dir.c_str());
    return ok ? 0 : 1;
}
