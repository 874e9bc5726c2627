#include "tune/tuner.h"

#include <charconv>
#include <cstdio>
#include <map>

#include "tune/search.h"

namespace kwhost::tune {

namespace {

Score scoreOf(const TrialRow& row) {
  Score s;
  s.ran = row.measure.has_value();
  if (!s.ran) return s;
  s.accepted = row.accepted;
  s.cost = row.measure->cost();
  s.endDistance = row.measure->endDistance;
  return s;
}

// Best of the rows so far: accepted, least cost, earliest of equals.
int bestRow(const std::vector<TrialRow>& rows) {
  int best = 0;
  for (size_t i = 1; i < rows.size(); ++i)
    if (rows[i].accepted && rows[i].measure->cost() < rows[size_t(best)].measure->cost()) best = int(i);
  return best;
}

std::string floatText(float v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace

Result<TuneResult> Tuner::run(WorkerPool& pool, const TuneProgress& progress) {
  Point start;
  for (const Varied& v : varied_) start.push_back(unitOf(v, double(v.given)));
  Search search(start, trials_, seed_);
  TuneResult result;
  // Trials with values tried before are not run again: the same values give the same run.
  std::map<std::vector<float>, size_t> seen;
  int done = 0;
  for (std::vector<Point> batch = search.nextBatch(); !batch.empty(); batch = search.nextBatch()) {
    const size_t first = result.rows.size();
    std::vector<TrialJob> jobs;
    std::vector<size_t> jobRows;
    for (const Point& u : batch) {
      TrialRow row;
      row.trial = int(result.rows.size());
      // Trial 0 is the scene as given, to the bit.
      for (size_t i = 0; i < varied_.size(); ++i)
        row.values.push_back(row.trial == 0 ? varied_[i].given : valueAt(varied_[i], u[i]));
      if (!seen.count(row.values)) {
        seen.emplace(row.values, result.rows.size());
        jobs.push_back({row.trial, row.values});
        jobRows.push_back(result.rows.size());
      }
      result.rows.push_back(std::move(row));
    }
    const TrialRow* bestSoFar = first > 0 ? &result.rows[size_t(bestRow(result.rows))] : nullptr;
    const TrialRow* given = first > 0 ? &result.rows[0] : nullptr;
    auto outcomes = pool.run(jobs, [&] {
      if (progress) progress(++done, trials_, bestSoFar, given);
    });
    if (!outcomes) return fail(outcomes.error());
    for (size_t j = 0; j < jobs.size(); ++j) {
      TrialRow& row = result.rows[jobRows[j]];
      row.measure = (*outcomes)[j].measure;
      row.why = (*outcomes)[j].why;
    }
    for (size_t i = first; i < result.rows.size(); ++i) {
      TrialRow& row = result.rows[i];
      const auto it = seen.find(row.values);
      if (it->second != i) {
        row.measure = result.rows[it->second].measure, row.why = result.rows[it->second].why;
        if (progress) progress(++done, trials_, bestSoFar, given);
      }
    }
    if (!result.rows[0].measure)
      return fail("the given scene's own run failed (" + result.rows[0].why + "); there is nothing to compare with");
    std::vector<Score> scores;
    for (size_t i = first; i < result.rows.size(); ++i) {
      TrialRow& row = result.rows[i];
      row.accepted = row.measure && accepted(*row.measure, *result.rows[0].measure);
      scores.push_back(scoreOf(row));
    }
    search.tell(scores);
    result.best = bestRow(result.rows);
    if (progress) progress(done, trials_, &result.rows[size_t(result.best)], &result.rows[0]);
    if (result.rows[size_t(result.best)].measure->cost() == 0) break;
  }
  return result;
}

std::string tableCsv(const std::vector<Varied>& varied, const TuneResult& result) {
  std::string out = "trial";
  for (const Varied& v : varied) out.append(",").append(v.name);
  out += ",intrusions,closePairs,stuck,cost,endDistance,accepted,failure\n";
  for (const TrialRow& row : result.rows) {
    out += std::to_string(row.trial);
    for (float v : row.values) out.append(",").append(floatText(v));
    if (row.measure) {
      const TrialMeasure& m = *row.measure;
      char end[32];
      std::snprintf(end, sizeof end, "%.9g", m.endDistance);
      for (int64_t count : {m.intrusions, m.closePairs, m.stuck, m.cost()}) out.append(",").append(std::to_string(count));
      out.append(",").append(end).append(row.accepted ? ",true,\n" : ",false,\n");
    } else {
      std::string why = row.why;
      for (char& c : why)
        if (c == '"') c = '\'';
      out.append(",,,,,,false,\"").append(why).append("\"\n");
    }
  }
  return out;
}

}  // namespace kwhost::tune
