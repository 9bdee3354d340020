// Reader of the score's text format: statements, times, note names, patterns
// and their placement. Turns everything into plain timed notes and lanes.
//
// Index: Lane::valueAt - note names and numbers - Parser (helpers, then one
// method per statement) - splitting the text into statements - parseScore
#include "score.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

namespace music {

double Lane::valueAt(double time, double base) const {
    if (points.empty() || time < points.front().time)
        return base;
    // The last point at or before `time`.
    std::size_t i = 0;
    while (i + 1 < points.size() && points[i + 1].time <= time)
        ++i;
    if (i + 1 == points.size() || points[i + 1].jump)
        return points[i].value;
    const LanePoint& a = points[i];
    const LanePoint& b = points[i + 1];
    const double f = (time - a.time) / (b.time - a.time);
    return a.value + (b.value - a.value) * f;
}

namespace {

constexpr double accentVelocity = 1.4;
constexpr double softVelocity = 0.55;

struct Statement {
    int line = 0;
    std::vector<std::string> words;
};

// One token of a pattern: a rest, a hold, or notes to strike.
struct Step {
    enum class Kind { rest, hold, strike } kind = Kind::rest;
    std::vector<double> pitches; // empty with `strike` means the instrument's own note
    double velocity = 1.0;
};

struct Pattern {
    int instrument = 0;
    double step = 1.0; // sixteenths per token
    double gate = 1.0; // share of a note's length that the key is held
    std::vector<Step> steps;
};

struct ParseError {
    std::string message;
    int line = -1; // -1: the statement being read
};

[[noreturn]] void fail(const std::string& message) {
    throw ParseError{message};
}

bool parseNumber(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

double number(const std::string& text, const char* what) {
    double value = 0.0;
    if (!parseNumber(text, value))
        fail(std::string("bad ") + what + " '" + text + "'");
    return value;
}

// "C4" = 60, "F#2", "Bb3", "C-1" = 0. Returns false if `text` is no note name.
bool parseNoteName(const std::string& text, double& pitch) {
    static const int semitones[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    if (text.size() < 2 || text[0] < 'A' || text[0] > 'G')
        return false;
    int value = semitones[text[0] - 'A'];
    std::size_t i = 1;
    if (text[i] == '#') {
        ++value;
        ++i;
    } else if (text[i] == 'b') {
        --value;
        ++i;
    }
    double octave = 0.0;
    if (i >= text.size() || !parseNumber(text.substr(i), octave) ||
        octave != static_cast<int>(octave))
        return false;
    pitch = value + 12.0 * (octave + 1.0);
    return true;
}

class Parser {
  public:
    explicit Parser(Score& score) : score(score) {}

    void run(const std::vector<Statement>& statements) {
        for (const Statement& statement : statements) {
            line = statement.line;
            dispatch(statement.words);
        }
        line = 0;
        if (score.lengthSamples <= 0)
            fail("the score needs a 'length' line");
        for (Lane& lane : score.lanes)
            std::stable_sort(
                lane.points.begin(), lane.points.end(),
                [](const LanePoint& a, const LanePoint& b) { return a.time < b.time; });
        std::stable_sort(score.notes.begin(), score.notes.end(),
                         [](const NoteEvent& a, const NoteEvent& b) { return a.time < b.time; });
    }

    int line = 0;

  private:
    Score& score;
    std::map<std::string, int> instrumentIndex;
    std::map<std::string, std::vector<double>> chords;
    std::map<std::string, Pattern> patterns;

    // --- Helpers ---

    // Splits `words` from `first` on into positional words and key=value options.
    static void splitOptions(const std::vector<std::string>& words, std::size_t first,
                             std::vector<std::string>& positional,
                             std::map<std::string, std::string>& options) {
        for (std::size_t i = first; i < words.size(); ++i) {
            const std::size_t eq = words[i].find('=');
            if (eq == std::string::npos) {
                positional.push_back(words[i]);
            } else {
                const std::string key = words[i].substr(0, eq);
                if (options.count(key))
                    fail("option '" + key + "' given twice");
                options[key] = words[i].substr(eq + 1);
            }
        }
    }

    static double option(std::map<std::string, std::string>& options, const std::string& key,
                         double fallback) {
        const auto found = options.find(key);
        if (found == options.end())
            return fallback;
        const double value = number(found->second, key.c_str());
        options.erase(found);
        return value;
    }

    static void noOptionsLeft(const std::map<std::string, std::string>& options) {
        if (!options.empty())
            fail("unknown option '" + options.begin()->first + "'");
    }

    // "12" (bar), "12:6" (bar and sixteenth, fractions allowed) or "36.25s" (seconds).
    double time(const std::string& text) const {
        double seconds = 0.0;
        if (text.size() > 1 && text.back() == 's') {
            if (!parseNumber(text.substr(0, text.size() - 1), seconds))
                fail("bad time '" + text + "'");
        } else {
            const std::size_t colon = text.find(':');
            double bar = 0.0, sixteenth = 0.0;
            if (!parseNumber(text.substr(0, colon), bar) ||
                (colon != std::string::npos && !parseNumber(text.substr(colon + 1), sixteenth)))
                fail("bad time '" + text + "' (use BAR, BAR:SIXTEENTH or SECONDSs)");
            seconds = (bar * 16.0 + sixteenth) * score.stepSeconds();
        }
        if (seconds < 0.0)
            fail("time '" + text + "' is before the start");
        return seconds;
    }

    int instrument(const std::string& name) const {
        const auto found = instrumentIndex.find(name);
        if (found == instrumentIndex.end())
            fail("unknown instrument '" + name + "'");
        return found->second;
    }

    // A note name, a chord name, or several of them joined with '+'.
    std::vector<double> pitches(const std::string& text) const {
        std::vector<double> result;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t plus = text.find('+', start);
            if (plus == std::string::npos)
                plus = text.size();
            const std::string part = text.substr(start, plus - start);
            double pitch = 0.0;
            if (parseNoteName(part, pitch)) {
                result.push_back(pitch);
            } else {
                const auto chord = chords.find(part);
                if (chord == chords.end())
                    fail("'" + part + "' is neither a note nor a chord");
                result.insert(result.end(), chord->second.begin(), chord->second.end());
            }
            start = plus + 1;
        }
        return result;
    }

    Step step(std::string text) const {
        Step result;
        if (text == ".")
            return result;
        if (text == "-") {
            result.kind = Step::Kind::hold;
            return result;
        }
        result.kind = Step::Kind::strike;
        if (text == "x" || text == "X" || text == "o") {
            result.velocity = text == "X" ? accentVelocity : (text == "o" ? softVelocity : 1.0);
            return result;
        }
        if (text.size() > 1 && (text.back() == '!' || text.back() == '?')) {
            result.velocity = text.back() == '!' ? accentVelocity : softVelocity;
            text.pop_back();
        }
        result.pitches = pitches(text);
        return result;
    }

    Lane& lane(int instrument, LaneParam param) {
        for (Lane& existing : score.lanes)
            if (existing.instrument == instrument && existing.param == param)
                return existing;
        score.lanes.push_back(Lane{instrument, param, {}});
        return score.lanes.back();
    }

    static LaneParam laneParam(const std::string& name) {
        static const char* const names[] = {"gain", "pan", "cutoff", "res", "echo", "reverb"};
        for (int i = 0; i < static_cast<int>(LaneParam::count); ++i)
            if (name == names[i])
                return static_cast<LaneParam>(i);
        fail("'" + name + "' cannot change over time (gain, pan, cutoff, res, echo, reverb can)");
    }

    static double laneValue(LaneParam param, const std::string& text) {
        const double value = number(text, "value");
        if (param == LaneParam::cutoff) {
            if (value <= 0.0)
                fail("a cutoff must be above 0 Hz");
            return log2d(value);
        }
        return value;
    }

    void addNote(int instrument, double when, double length, double pitch, double velocity) {
        score.notes.push_back(NoteEvent{instrument, when, length, pitch, velocity});
    }

    // --- Statements ---

    void dispatch(const std::vector<std::string>& words) {
        const std::string& keyword = words[0];
        if (keyword == "tempo")
            tempoStatement(words);
        else if (keyword == "length")
            lengthStatement(words);
        else if (keyword == "master")
            masterStatement(words);
        else if (keyword == "fade")
            fadeStatement(words);
        else if (keyword == "echo")
            echoStatement(words);
        else if (keyword == "reverb")
            reverbStatement(words);
        else if (keyword == "instrument")
            instrumentStatement(words);
        else if (keyword == "chord")
            chordStatement(words);
        else if (keyword == "pattern")
            patternStatement(words);
        else if (keyword == "play")
            playStatement(words);
        else if (keyword == "note")
            noteStatement(words);
        else if (keyword == "set")
            setStatement(words);
        else if (keyword == "ramp")
            rampStatement(words);
        else
            fail("unknown statement '" + keyword + "'");
    }

    static void expectWords(const std::vector<std::string>& words, std::size_t count,
                            const char* usage) {
        if (words.size() != count)
            fail(std::string("usage: ") + usage);
    }

    void tempoStatement(const std::vector<std::string>& words) {
        expectWords(words, 2, "tempo BPM");
        score.tempo = number(words[1], "tempo");
        if (score.tempo < 20.0 || score.tempo > 400.0)
            fail("tempo must lie between 20 and 400");
    }

    void lengthStatement(const std::vector<std::string>& words) {
        expectWords(words, 2, "length SAMPLES");
        const double samples = number(words[1], "length");
        if (samples < 1.0 || samples != static_cast<long long>(samples))
            fail("length is a whole number of samples");
        score.lengthSamples = static_cast<long long>(samples);
    }

    // The key=value words of a statement that takes no other words; `usage`
    // is its complaint when there are others.
    static std::map<std::string, std::string> optionsOnly(const std::vector<std::string>& words,
                                                          const char* usage) {
        std::vector<std::string> positional;
        std::map<std::string, std::string> options;
        splitOptions(words, 1, positional, options);
        if (!positional.empty())
            fail(usage);
        return options;
    }

    void masterStatement(const std::vector<std::string>& words) {
        std::map<std::string, std::string> options =
            optionsOnly(words, "usage: master loudness=LUFS ceiling=DBFS");
        score.loudness = option(options, "loudness", score.loudness);
        score.ceiling = option(options, "ceiling", score.ceiling);
        noOptionsLeft(options);
        if (score.ceiling > 0.0)
            fail("the ceiling must be at or below 0 dBFS");
    }

    void fadeStatement(const std::vector<std::string>& words) {
        expectWords(words, 3, "fade FROM TO");
        score.fadeStart = time(words[1]);
        score.fadeEnd = time(words[2]);
        if (score.fadeEnd <= score.fadeStart)
            fail("the fade must end after it starts");
    }

    void echoStatement(const std::vector<std::string>& words) {
        const char* usage = "usage: echo steps=1..16 feedback=0..0.9 tone=HZ reverb=0..1";
        std::map<std::string, std::string> options = optionsOnly(words, usage);
        EchoSettings& echo = score.echo;
        echo.steps = option(options, "steps", echo.steps);
        echo.feedback = option(options, "feedback", echo.feedback);
        echo.tone = option(options, "tone", echo.tone);
        echo.reverb = option(options, "reverb", echo.reverb);
        noOptionsLeft(options);
        if (echo.steps <= 0.0 || echo.steps > 16.0 || echo.feedback < 0.0 || echo.feedback > 0.9)
            fail(usage);
    }

    void reverbStatement(const std::vector<std::string>& words) {
        const char* usage = "usage: reverb size=0.5..0.97 damp=0..1 width=0..1 predelay=SECONDS";
        std::map<std::string, std::string> options = optionsOnly(words, usage);
        ReverbSettings& reverb = score.reverb;
        reverb.size = option(options, "size", reverb.size);
        reverb.damp = option(options, "damp", reverb.damp);
        reverb.width = option(options, "width", reverb.width);
        reverb.predelay = option(options, "predelay", reverb.predelay);
        noOptionsLeft(options);
        if (reverb.size < 0.5 || reverb.size > 0.97 || reverb.damp < 0.0 || reverb.damp > 1.0 ||
            reverb.predelay < 0.0 || reverb.predelay > 0.5)
            fail(usage);
    }

    void instrumentStatement(const std::vector<std::string>& words) {
        if (words.size() < 3)
            fail("usage: instrument NAME KIND key=value...");
        const std::string& name = words[1];
        if (instrumentIndex.count(name))
            fail("instrument '" + name + "' is defined twice");
        Instrument instrument;
        instrument.name = name;
        instrument.kind = instrumentKind(words[2]);
        Patch& patch = instrument.patch;
        if (instrument.kind == InstrumentKind::kick)
            patch.trigger = 1.0;
        for (std::size_t i = 3; i < words.size(); ++i)
            patchParameter(patch, words[i]);
        if (patch.voices < 1.0 || patch.voices > 7.0)
            fail("voices must lie between 1 and 7");
        if (patch.cutoff <= 0.0)
            fail("a cutoff must be above 0 Hz");
        instrumentIndex[name] = static_cast<int>(score.instruments.size());
        score.instruments.push_back(instrument);
    }

    InstrumentKind instrumentKind(const std::string& word) {
        static const std::pair<const char*, InstrumentKind> kinds[] = {
            {"synth", InstrumentKind::synth}, {"fm", InstrumentKind::fm},
            {"kick", InstrumentKind::kick},   {"snare", InstrumentKind::snare},
            {"hat", InstrumentKind::hat},     {"clap", InstrumentKind::clap}};
        return named(kinds, word,
                     "unknown instrument kind '" + word + "' (synth, fm, kick, snare, hat, clap)");
    }

    // The value `word` names in `table`; `complaint` when it names none.
    template <typename T, std::size_t count>
    static T named(const std::pair<const char*, T> (&table)[count], const std::string& word,
                   const std::string& complaint) {
        for (const auto& entry : table)
            if (word == entry.first)
                return entry.second;
        fail(complaint);
    }

    // One key=value word of an instrument: the wave, the filter or a number.
    void patchParameter(Patch& patch, const std::string& word) {
        static const std::pair<const char*, double Patch::*> numbers[] = {
            {"gain", &Patch::gain},         {"pan", &Patch::pan},
            {"echo", &Patch::echo},         {"reverb", &Patch::reverb},
            {"duck", &Patch::duck},         {"trigger", &Patch::trigger},
            {"note", &Patch::note},         {"transpose", &Patch::transpose},
            {"voices", &Patch::voices},     {"detune", &Patch::detune},
            {"spread", &Patch::spread},     {"width", &Patch::width},
            {"sub", &Patch::sub},           {"noise", &Patch::noise},
            {"vibrato", &Patch::vibrato},   {"rate", &Patch::rate},
            {"attack", &Patch::attack},     {"decay", &Patch::decay},
            {"sustain", &Patch::sustain},   {"release", &Patch::release},
            {"cutoff", &Patch::cutoff},     {"res", &Patch::res},
            {"envmod", &Patch::envmod},     {"fdecay", &Patch::fdecay},
            {"keytrack", &Patch::keytrack}, {"drive", &Patch::drive},
            {"ratio", &Patch::ratio},       {"index", &Patch::index},
            {"idecay", &Patch::idecay},     {"tone", &Patch::tone},
            {"punch", &Patch::punch},       {"sweep", &Patch::sweep},
            {"click", &Patch::click},       {"metal", &Patch::metal}};
        static const std::pair<const char*, Wave> waves[] = {
            {"sine", Wave::sine},         {"saw", Wave::saw},     {"square", Wave::square},
            {"triangle", Wave::triangle}, {"pulse", Wave::pulse}, {"noise", Wave::noise}};
        static const std::pair<const char*, FilterMode> filters[] = {{"lp", FilterMode::lowpass},
                                                                     {"bp", FilterMode::bandpass},
                                                                     {"hp", FilterMode::highpass}};
        const std::size_t eq = word.find('=');
        if (eq == std::string::npos)
            fail("expected key=value, got '" + word + "'");
        const std::string key = word.substr(0, eq);
        const std::string value = word.substr(eq + 1);
        if (key == "wave") {
            patch.wave = named(waves, value, "unknown wave '" + value + "'");
        } else if (key == "filter") {
            patch.filter = named(filters, value, "unknown filter '" + value + "' (lp, bp, hp)");
        } else {
            double Patch::*field =
                named(numbers, key, "unknown instrument parameter '" + key + "'");
            patch.*field = number(value, key.c_str());
        }
    }

    void chordStatement(const std::vector<std::string>& words) {
        if (words.size() < 3)
            fail("usage: chord NAME NOTE NOTE...");
        const std::string& name = words[1];
        double ignored = 0.0;
        if (parseNoteName(name, ignored) || name == "x" || name == "X" || name == "o" ||
            name.find_first_of("+.-!?|") != std::string::npos)
            fail("'" + name + "' cannot name a chord");
        std::vector<double> notes;
        for (std::size_t i = 2; i < words.size(); ++i) {
            const std::vector<double> more = pitches(words[i]);
            notes.insert(notes.end(), more.begin(), more.end());
        }
        chords[name] = notes;
    }

    void patternStatement(const std::vector<std::string>& words) {
        if (words.size() < 4)
            fail("usage: pattern NAME INSTRUMENT [step=N] [gate=F] STEPS...");
        Pattern pattern;
        pattern.instrument = instrument(words[2]);
        std::size_t i = 3;
        for (; i < words.size(); ++i) {
            const std::string& word = words[i];
            if (word.rfind("step=", 0) == 0)
                pattern.step = number(word.substr(5), "step");
            else if (word.rfind("gate=", 0) == 0)
                pattern.gate = number(word.substr(5), "gate");
            else
                break;
        }
        if (pattern.step <= 0.0 || pattern.gate <= 0.0 || pattern.gate > 1.0)
            fail("step must be above 0 and gate within 0..1");
        for (; i < words.size(); ++i)
            if (words[i] != "|")
                pattern.steps.push_back(step(words[i]));
        if (pattern.steps.empty())
            fail("pattern '" + words[1] + "' has no steps");
        patterns[words[1]] = pattern;
    }

    void playStatement(const std::vector<std::string>& words) {
        std::vector<std::string> positional;
        std::map<std::string, std::string> options;
        splitOptions(words, 1, positional, options);
        if (positional.size() < 2 || positional.size() > 3)
            fail("usage: play PATTERN FROM [UNTIL] [transpose=N] [velocity=F]");
        const auto found = patterns.find(positional[0]);
        if (found == patterns.end())
            fail("unknown pattern '" + positional[0] + "'");
        const Pattern& pattern = found->second;
        const double transpose = option(options, "transpose", 0.0);
        const double velocity = option(options, "velocity", 1.0);
        noOptionsLeft(options);

        const double start = time(positional[1]);
        const double stepLength = pattern.step * score.stepSeconds();
        const double patternLength = stepLength * pattern.steps.size();
        double until = start + patternLength;
        if (positional.size() == 3)
            until = time(positional[2]);
        if (until <= start)
            fail("a pattern must play until after it starts");
        const double ownNote = score.instruments[pattern.instrument].patch.note;

        // Repeats the pattern until `until`; a note started before it keeps its length.
        for (long repeat = 0;; ++repeat) {
            const double origin = start + repeat * patternLength;
            if (origin >= until - 1e-9)
                break;
            for (std::size_t s = 0; s < pattern.steps.size(); ++s) {
                const Step& current = pattern.steps[s];
                if (current.kind != Step::Kind::strike)
                    continue;
                const double when = origin + s * stepLength;
                if (when >= until - 1e-9)
                    break;
                std::size_t held = 1;
                while (s + held < pattern.steps.size() &&
                       pattern.steps[s + held].kind == Step::Kind::hold)
                    ++held;
                const double length = held * stepLength * pattern.gate;
                if (current.pitches.empty())
                    addNote(pattern.instrument, when, length, ownNote + transpose,
                            current.velocity * velocity);
                for (double pitch : current.pitches)
                    addNote(pattern.instrument, when, length, pitch + transpose,
                            current.velocity * velocity);
            }
        }
    }

    void noteStatement(const std::vector<std::string>& words) {
        std::vector<std::string> positional;
        std::map<std::string, std::string> options;
        splitOptions(words, 1, positional, options);
        if (positional.size() < 3 || positional.size() > 4)
            fail("usage: note INSTRUMENT TIME NOTES [SIXTEENTHS] [velocity=F]");
        const int which = instrument(positional[0]);
        const double when = time(positional[1]);
        const Step strike = step(positional[2]);
        if (strike.kind != Step::Kind::strike)
            fail("a note needs a pitch or x");
        double sixteenths = 1.0;
        if (positional.size() == 4)
            sixteenths = number(positional[3], "length");
        if (sixteenths <= 0.0)
            fail("a note must last longer than 0");
        const double velocity = option(options, "velocity", 1.0) * strike.velocity;
        noOptionsLeft(options);
        const double length = sixteenths * score.stepSeconds();
        if (strike.pitches.empty())
            addNote(which, when, length, score.instruments[which].patch.note, velocity);
        for (double pitch : strike.pitches)
            addNote(which, when, length, pitch, velocity);
    }

    void setStatement(const std::vector<std::string>& words) {
        expectWords(words, 5, "set INSTRUMENT PARAM TIME VALUE");
        const LaneParam param = laneParam(words[2]);
        Lane& target = lane(instrument(words[1]), param);
        target.points.push_back(LanePoint{time(words[3]), laneValue(param, words[4]), true});
    }

    void rampStatement(const std::vector<std::string>& words) {
        expectWords(words, 7, "ramp INSTRUMENT PARAM FROM VALUE TO VALUE");
        const LaneParam param = laneParam(words[2]);
        Lane& target = lane(instrument(words[1]), param);
        const double from = time(words[3]);
        const double to = time(words[5]);
        if (to <= from)
            fail("a ramp must end after it starts");
        target.points.push_back(LanePoint{from, laneValue(param, words[4]), true});
        target.points.push_back(LanePoint{to, laneValue(param, words[6]), false});
    }
};

// Splits the text into statements: '#' at the start of a word begins a
// comment, and an indented line continues the statement above it.
std::vector<Statement> statements(const std::string& text) {
    std::vector<Statement> result;
    std::istringstream lines(text);
    std::string raw;
    int number = 0;
    while (std::getline(lines, raw)) {
        ++number;
        // A comment starts at a '#' that begins a word; F#3 is a note.
        std::size_t hash = raw.find('#');
        while (hash != std::string::npos && hash > 0 && raw[hash - 1] != ' ' &&
               raw[hash - 1] != '\t')
            hash = raw.find('#', hash + 1);
        const std::string content = raw.substr(0, hash);
        std::istringstream words(content);
        std::vector<std::string> found;
        std::string word;
        while (words >> word)
            found.push_back(word);
        if (found.empty())
            continue;
        const bool continues = content[0] == ' ' || content[0] == '\t';
        if (continues) {
            if (result.empty())
                throw ParseError{"an indented line continues nothing", number};
            result.back().words.insert(result.back().words.end(), found.begin(), found.end());
        } else {
            result.push_back(Statement{number, found});
        }
    }
    return result;
}

} // namespace

bool parseScore(const std::string& text, Score& score, std::string& error) {
    score = Score();
    Parser parser(score);
    try {
        parser.run(statements(text));
    } catch (const ParseError& problem) {
        const int line = problem.line >= 0 ? problem.line : parser.line;
        error = line > 0 ? std::to_string(line) + ": " + problem.message : problem.message;
        score = Score();
        return false;
    }
    return true;
}

} // namespace music
