// A class whose global objects need a constructor run at start-up: the
// link-time compiler gathers their construction into one static
// constructor function of the image, _GLOBAL__sub_I_..., which is
// artificial and has no declaration file.
#pragma once

namespace fw {

extern volatile unsigned long hardware_clock;

class Meter {
public:
    explicit Meter(unsigned long scale) : scale_(scale), start_(hardware_clock) {}
    unsigned long elapsed() const { return (hardware_clock - start_) * scale_; }

private:
    unsigned long scale_;
    unsigned long start_;
};

extern Meter boot_meter;

}  // namespace fw
