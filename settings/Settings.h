#pragma once

#include <QString>

namespace settings {

// Where loaded settings go, one value at a time: each is applied before the next is read,
// so a failing read leaves the later ones at their previous values.
class SettingsTarget
{
public:
    virtual ~SettingsTarget() = default;
    virtual void applyComPort(int index) = 0;
    virtual void applyComAlg(int index) = 0;
    virtual void applyMeters(long double meters) = 0;
    // The measurement mode's values, read after the three above.
    virtual void applyMode(int index) { (void)index; }
    virtual void applyFlagMeters(long double meters) { (void)meters; }
    virtual void applyMinDarkMs(int ms) { (void)ms; }
    virtual void applyMinContactMs(int ms) { (void)ms; }
    // The picket fence's band spacing, read last.
    virtual void applyPicketMeters(long double meters) { (void)meters; }
};

struct SettingsValues
{
    int comPort = 0;
    int comAlg = 0;
    double meters = 0.15;
    int mode = 0;             // "Mode": the measurement mode's index
    double flagMeters = 0.025; // "FlagMeters", in millimetres like "Meters"
    int minDarkMs = 1;        // "MinDarkMs": shortest interruption in the flag modes
    int minContactMs = 0;     // "MinContactMs": shortest contact between the barriers
    double picketMeters = 0.05; // "PicketMeters": the picket fence's band spacing, in millimetres
};

// The user's stored port, polarity and distance. Both throw ERegistryException.
void LoadSettings(SettingsTarget &target);
void SaveSettings(const SettingsValues &values);

// A further stored integer beside the three above, read or written on its own session.
// Reading creates nothing: a value or key that is missing, or text that is no integer,
// reads as the default. Both throw ERegistryException as the two above do.
int LoadSetting(const char *name, int defaultValue);
void SaveSetting(const char *name, int value);

} // namespace settings
