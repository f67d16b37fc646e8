#pragma once

#include <QString>
#include <QStringList>

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
    // The pendulum's length, read after the spacing.
    virtual void applyPendulumMeters(long double meters) { (void)meters; }
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
    double pendulumMeters = 1.0; // "PendulumMeters": the pendulum's length, in millimetres
    // The port shows KEIN only because the stored one was refused at start (another
    // program holds it): the stored port stays for the next start.
    bool keepStoredPort = false;
};

// The user's stored settings, each applied in the order of SettingsValues. A value of
// another type, text that is no integer or a value out of its range is replaced by its
// default for this run and named, with the settings file, in the German messages
// returned (for the window to show). Problems with the file itself throw
// ERegistryException.
QStringList LoadSettingsChecked(SettingsTarget &target);
// The same, with the messages, if any, thrown as one ERegistryException once every value
// is applied.
void LoadSettings(SettingsTarget &target);
// Writes each value that differs from what the last load applied, or that the file lacks;
// a value the user did not change stays as the file has it (a refused one included, and
// one another copy of the program stored meanwhile). Throws ERegistryException.
void SaveSettings(const SettingsValues &values);

// A further stored integer beside the three above, read or written on its own session.
// Reading creates nothing: a value or key that is missing, or text that is no integer,
// reads as the default. Both throw ERegistryException as the two above do.
int LoadSetting(const char *name, int defaultValue);
void SaveSetting(const char *name, int value);

// The class view: "ClassView" (1 on, 0 off) and "ClassViewPort", stored as the values
// above. Off by default; a port outside 1 to 65535 reads as 8080.
struct ClassViewSettings
{
    bool on = false;
    int port = 8080;
};
ClassViewSettings LoadClassViewSettings();
void SaveClassViewSettings(const ClassViewSettings &values);

} // namespace settings
