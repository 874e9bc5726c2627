// The browser test's reader of a run's agents.csv, in node: columns taken by
// name from the header (in any order, with a column added at the end), names
// quoted as the writer quotes them, and a CSV that is not one whole run
// refused with its file and line.
//   node run_expectations_test.mjs
import { check, finish } from './node_env.mjs';
import { expectationsFromCsv } from './run_expectations.mjs';

const HEADER = 'frame,tag,index,name,x,y,z,v1x,v1y,v1z,v2x,v2y,v2z,v3x,v3y,v3z,h,p,b';
const axes = '1,0,0,0,1,0,0,0,1';
const row = (frame, tag, index, name, x) => `${frame},${tag},${index},${name},${x},2,3,${axes},0.5,0,0`;
const run = [row(0, 0, 0, 'A', 1), row(0, 0, 1, '"B, the ""second""\nline"', 1.1), row(1, 0, 0, 'A', 2), row(1, 0, 1, '"B, the ""second""\nline"', 2.2)];
const errorOf = (text) => { try { expectationsFromCsv(text, 'agents.csv'); return ''; } catch (e) { return e.message; } };

// As the writer writes it, and with a column added at the end.
{
  const plain = expectationsFromCsv([HEADER, ...run].join('\n') + '\n', 'agents.csv');
  const added = expectationsFromCsv([HEADER + ',speed', ...run.map((r) => r + ',7.5')].join('\r\n'), 'agents.csv');
  check(plain.agentCount === 2 && plain.frameCount === 2 && plain.frames[1].positions[1][0] === Math.fround(2.2) &&
    plain.frames[0].hpb[0][0] === 0.5, `the writer's CSV reads as 2 agents over 2 frames (${JSON.stringify(plain.frames[1])})`);
  check(plain.names[1] === 'B, the "second"\nline', `a quoted name with a comma, quotes and a line break reads back (${JSON.stringify(plain.names[1])})`);
  check(JSON.stringify(added) === JSON.stringify(plain), 'a column added at the end changes nothing');
}

// Columns by name: the same run with its columns in another order.
{
  const cols = HEADER.split(','), order = [...cols].reverse();
  const fields = (r) => {
    const out = [], re = /("(?:[^"]|"")*"|[^,]*)(?:,|$)/g;
    for (let m = re.exec(r); m && out.length < cols.length; m = re.exec(r)) out.push(m[1]);
    return out;
  };
  const shuffled = [order.join(','), ...run.map((r) => { const f = fields(r); return order.map((c) => f[cols.indexOf(c)]).join(','); })];
  const a = expectationsFromCsv([HEADER, ...run].join('\n'), 'agents.csv'), b = expectationsFromCsv(shuffled.join('\n'), 'agents.csv');
  check(JSON.stringify(a) === JSON.stringify(b), 'columns are found by name, in any order');
}

// Not one whole run: said with the file (and the line where there is one).
{
  const missing = errorOf([HEADER.replace(',h,', ',heading,'), ...run].join('\n'));
  const short = errorOf([HEADER, ...run, row(2, 0, 0, 'A', 3)].join('\n'));
  const order = errorOf([HEADER, run[0], run[1], run[3], run[2]].join('\n'));
  const ragged = errorOf([HEADER, run[0], '0,0,1,B,1'].join('\n'));
  check(/^agents\.csv: no column h in the header/.test(missing), `a missing column is named (${missing})`);
  check(/^agents\.csv: frame 2 has 1 agents, not 2/.test(short), `a frame short of agents is refused (${short})`);
  check(/^agents\.csv:6: agent 0\/1 out of the first frame's order/.test(order), `agents out of order are refused at their line (${order})`);
  check(/^agents\.csv: /.test(ragged) && ragged.length > 12, `a row short of fields is refused (${ragged})`);
  check(/no rows/.test(errorOf(HEADER + '\n')), 'a header alone is no run');
}
finish();
