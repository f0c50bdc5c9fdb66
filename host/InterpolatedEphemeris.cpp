#include "host/InterpolatedEphemeris.h"

#include <cmath>

namespace np {

namespace {

class InterpolatedEphemeris : public IEphemeris {
 public:
  explicit InterpolatedEphemeris(std::unique_ptr<IEphemeris> exact) : exact_(std::move(exact)) {}

  void setBodyType(int bodyType) override {
    bodyType_ = bodyType;
    exact_->setBodyType(bodyType);
  }
  void setNumber(int number) override {
    number_ = number;
    exact_->setNumber(number);
  }

  std::array<double, 6> GetPositionAndVelocity(double julianDate) override {
    // Only the Earth's orbit is smooth enough to trust; anything else (and every error
    // message) is the exact ephemeris's own.
    if (bodyType_ != 0 || number_ != 3 || !std::isfinite(julianDate) || std::fabs(julianDate) > 1e7)
      return exact_->GetPositionAndVelocity(julianDate);
    const double day = std::floor(julianDate);
    const std::array<double, 6> a = node(day), b = node(day + 1.0);
    // Cubic Hermite on [day, day + 1] from positions and velocities (AU/day), h = 1.
    const double s = julianDate - day, s2 = s * s, s3 = s2 * s;
    const double h00 = 2 * s3 - 3 * s2 + 1, h10 = s3 - 2 * s2 + s, h01 = -2 * s3 + 3 * s2, h11 = s3 - s2;
    const double d00 = 6 * s2 - 6 * s, d10 = 3 * s2 - 4 * s + 1, d01 = -6 * s2 + 6 * s, d11 = 3 * s2 - 2 * s;
    std::array<double, 6> pv{};
    for (int i = 0; i < 3; ++i) {
      pv[i] = h00 * a[i] + h10 * a[i + 3] + h01 * b[i] + h11 * b[i + 3];
      pv[i + 3] = d00 * a[i] + d10 * a[i + 3] + d01 * b[i] + d11 * b[i + 3];
    }
    return pv;
  }

 private:
  // The exact position and velocity at a whole Julian date; the last few are kept, as a
  // run moves through its days in order.
  std::array<double, 6> node(double day) {
    for (const Node& n : nodes_)
      if (n.known && n.day == day) return n.pv;
    Node& n = nodes_[next_];
    next_ = (next_ + 1) % kNodes;
    n.pv = exact_->GetPositionAndVelocity(day);
    n.day = day;
    n.known = true;
    return n.pv;
  }

  struct Node {
    bool known = false;
    double day = 0.0;
    std::array<double, 6> pv{};
  };
  static constexpr unsigned kNodes = 4;

  std::unique_ptr<IEphemeris> exact_;
  int bodyType_ = -1, number_ = -1;
  Node nodes_[kNodes];
  unsigned next_ = 0;
};

}  // namespace

std::unique_ptr<IEphemeris> InterpolatedEphemerisFactory::createEphemeris() {
  return std::make_unique<InterpolatedEphemeris>(exact_.createEphemeris());
}

}  // namespace np
