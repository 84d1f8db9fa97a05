// Exact solution of the Riemann problem for the Euler equations of an ideal
// gas with constant ratio of specific heats: two uniform states meet at x = 0
// at t = 0, and the solution is self-similar in s = x / t.
//
// The star pressure (between the two nonlinear waves) is found by Newton
// iteration on the pressure function f(p) = f_L(p) + f_R(p) + u_R - u_L,
// where each f_K is the velocity jump across a shock (p > p_K) or a
// rarefaction (p <= p_K). Every quantity is in the caller's units; nothing
// here knows about the engine.
#ifndef PELMORA_VALIDATION_RIEMANN_H
#define PELMORA_VALIDATION_RIEMANN_H

namespace validation {

// Primitive state of the gas: density, velocity, pressure.
struct GasState {
    double density = 0.0;
    double velocity = 0.0;
    double pressure = 0.0;
};

// The state between the two nonlinear waves.
struct StarRegion {
    double pressure = 0.0;
    double velocity = 0.0;
    double leftdensity = 0.0;  // left of the contact
    double rightdensity = 0.0; // right of the contact
    int iterations = 0;
};

class ExactRiemann {
public:
    // Solves the problem at construction. Throws std::invalid_argument when
    // the data are not positive or the waves would open a vacuum (the star
    // pressure would be negative): no such case is used in validation.
    ExactRiemann(GasState left, GasState right, double gamma);

    const StarRegion& star() const { return star_; }

    // Gas state at similarity coordinate s = x / t.
    GasState sample(double s) const;

    // Cell average of the solution at time t over [xa, xb] (x measured from
    // the initial discontinuity), by the midpoint rule on `points` sub-cells.
    GasState average(double xa, double xb, double t, int points) const;

    // Speed of the fastest signal in the whole solution (for time-step caps):
    // the largest |u| + c over the initial states and the star region.
    double fastestsignal() const;

    // Speeds of the leftmost and rightmost wave fronts.
    double leftfront() const;
    double rightfront() const;

private:
    double pressurefunction(double p, const GasState& k, double c, double* derivative) const;
    double startingguess() const;
    void solvestarpressure();

    GasState left_, right_;
    double gamma_;
    double cleft_, cright_;
    StarRegion star_;
};

} // namespace validation

#endif
