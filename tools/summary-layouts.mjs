// Writes the two summary workbook layouts into data/program/ from the column headings below.
// Run: node tools/summary-layouts.mjs   (the generated files are committed)
//
// Every table sheet: row 1 the survey title, A2 the table's title, rows 3-7 the headings
// (a heading over several columns in rows 3-4, the column's own heading in rows 5-7, or rows 3-7
// for a column on its own), row 8 the column numbers, the classes from row 9. Column A holds the
// class labels; its heading (A3:A7) receives the classification's caption.
import { writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..');

const yesNo = (group) => [`${group}|是`, `${group}|否或未填报`];
const coverage = (group, third) => [`${group}|基层工会(个)`, `${group}|涵盖单位(个)`, `${group}|${third}`];

// One entry per table sheet: sheet name, title, and the headings of the select list's columns in
// their order ("group|heading", or "|heading" for a column without a group heading).
const tables = [
  ['表一(1)', '表一  工会基层组织建设状况(1)', [
    '|基层工会(个)', '基层工会中|单独基层工会(个)', '基层工会中|联合基层工会(个)', '|涵盖单位(个)',
    '职工|合计(人)', '职工|女职工(人)', '职工|农民工(人)', '职工|女性农民工(人)',
    '工会会员|合计(人)', '工会会员|女会员(人)', '工会会员|农民工会员(人)', '工会会员|女性农民工会员(人)']],
  ['表一(2)', '表一  工会基层组织建设状况(2)', [
    '专职工会工作人员|合计(人)', '专职工会工作人员|其中：女性(人)', '兼职工会工作人员|合计(人)',
    '兼职工会工作人员|其中：女性(人)', '女职工组织|有女职工的基层工会(个)', '女职工组织|建立女职工组织的比例',
    '本级工会建立女职工组织情况(个)|建立女职工委员会', '本级工会建立女职工组织情况(个)|仅设立女职工委员',
    '本级工会建立女职工组织情况(个)|未建立', '女职工工作人员|专职(人)', '女职工工作人员|兼职(人)']],
  ['表二(1)', '表二  工会权益保障工作(1)', [
    ...yesNo('开展创建劳动关系和谐企业活动(个)'), '签订劳动合同|有签订劳动合同职工的基层工会(个)',
    '签订劳动合同|涵盖单位(个)', '签订劳动合同|签订劳动合同职工(人)', '签订劳动合同|其中：农民工(人)']],
  ['表二(2)', '表二  工会权益保障工作(2)', [
    '单独签订综合集体合同|覆盖单位(个)', '单独签订综合集体合同|覆盖职工(人)',
    '综合集体合同有劳动安全卫生专章|覆盖单位(个)', '综合集体合同有劳动安全卫生专章|覆盖职工(人)',
    '综合集体合同有女职工权益保护专章|覆盖单位(个)', '综合集体合同有女职工权益保护专章|覆盖女职工(人)',
    '单独签订工资专项集体合同|覆盖单位(个)', '单独签订工资专项集体合同|覆盖职工(人)']],
  ['表二(3)', '表二  工会权益保障工作(3)', [
    '单独签订劳动安全卫生专项集体合同|覆盖单位(个)', '单独签订劳动安全卫生专项集体合同|覆盖职工(人)',
    '单独签订女职工权益保护专项集体合同|覆盖单位(个)', '单独签订女职工权益保护专项集体合同|覆盖女职工(人)',
    ...yesNo('建立职工子女托管班(个)'), '|本年度托管子女(人)']],
  ['表三(1)', '表三  工会民主管理工作(1)', [
    ...coverage('建立职代会制度', '涉及职工(人)'), ...coverage('建立职工大会制度', '涉及职工(人)'),
    ...coverage('建立职代会或职工大会制度合计', '涉及职工(人)')]],
  ['表三(2)', '表三  工会民主管理工作(2)', [
    '本年度召开过职代会|基层工会(个)', '本年度召开过职代会|涵盖单位(个)', '职代会职工代表|合计(人)',
    '职代会职工代表|其中：女性(人)', '实行厂务公开|是(个)', '实行厂务公开|否或未填报(个)',
    '实行厂务公开|涵盖单位(个)', '实行厂务公开|涉及职工(人)', '|建立董事会的单位(个)', '董事|合计(人)',
    '董事|其中：女性(人)', '职工董事|有职工董事的单位(个)', '职工董事|合计(人)', '职工董事|其中：女性(人)']],
  ['表三(3)', '表三  工会民主管理工作(3)', [
    ...yesNo('工会主席或副主席进入董事会(个)'), '|建立监事会的单位(个)', '监事|合计(人)', '监事|其中：女性(人)',
    '职工监事|有职工监事的单位(个)', '职工监事|合计(人)', '职工监事|其中：女性(人)',
    ...yesNo('工会主席或副主席进入监事会(个)')]],
  ['表四(1)', '表四  工会劳动保护工作(1)', [
    ...yesNo('建立劳动保护监督检查委员会(个)'), '|工会小组劳动保护检查员(人)', '|劳动保护监督组织受理举报案件(件)',
    '|提请劳动安全卫生监督部门处理案件(件)', '|工会参加安全生产检查(次)']],
  ['表四(2)', '表四  工会劳动保护工作(2)', [
    '|组织职工查找事故隐患和职业危害(件)', '|事故隐患和职业危害整改(件)', '|工会参加处理工伤事故(件)',
    ...coverage('执行女职工禁忌从事劳动的规定', '涉及女职工(人)'),
    ...coverage('执行女职工四期特殊待遇的规定', '涉及女职工(人)'), ...coverage('建立女职工哺乳室', '涉及女职工(人)')]],
  ['表五', '表五  工会法律工作(1)', [
    ...yesNo('建立工会劳动法律监督组织(个)'), '|工会劳动法律监督员(人)', '|劳动保障法律监督员(人)',
    '|劳动法律监督组织受理违法违规案件(件)', ...yesNo('建立劳动争议调解委员会(个)'),
    '劳动争议调解委员会|工会成员(人)', '劳动争议调解委员会|受理劳动争议(件)', '劳动争议调解委员会|调解成功(件)']],
  ['表六(1)', '表六  工会经济技术工作(1)', [
    '技术工人|合计(人)', '技术工人|其中：女性(人)', '技术工人|其中：农民工(人)', ...yesNo('开展劳动和技能竞赛(个)'),
    '参加劳动和技能竞赛|职工(人次)', '参加劳动和技能竞赛|其中：农民工(人次)', '合理化建议|职工提出(件)',
    '合理化建议|已实施(件)', '|技术革新项目(项)', '|职工发明创造项目(项)']],
  ['表六(2)', '表六  工会经济技术工作(2)', [
    '|取得国家专利项目(项)', '|推广先进操作法项目(项)', ...yesNo('开展岗位练兵活动(个)'),
    ...yesNo('开展选树技能带头人活动(个)'), '|选树技能带头人(人)', '|技能人才师徒结对(对)']],
  ['表七', '表七  职工文化体育工作', [...yesNo('建立职工书屋(个)')]],
  ['表八', '表八  工会财务和经费审查工作', [
    '工会经费拨缴情况(个)|按工资总额2%拨缴', '工会经费拨缴情况(个)|有拨缴但不足额', '工会经费拨缴情况(个)|没有拨缴',
    '工会经费预算编制情况(个)|有规范预算，手续齐全', '工会经费预算编制情况(个)|有预算但手续不齐',
    '工会经费预算编制情况(个)|无预算', ...yesNo('建立经费审查委员会(个)'), ...yesNo('建立经费审查委员会办公室(个)')]],
];

const letters = (column) => {
  let text = '';
  for (let n = column; n > 0; n = Math.floor((n - 1) / 26)) text = String.fromCharCode(65 + ((n - 1) % 26)) + text;
  return text;
};
const heading = { bold: true, align: 'center', valign: 'center', border: true, wrap: true };
const surveyTitle = '2020年工会基层组织统计调查汇总表';

function tableSheet([name, title, columns], labelWidth) {
  const last = letters(columns.length + 1);
  const cells = [
    { cell: `A1:${last}1`, text: surveyTitle, bold: true, size: 16, align: 'center', valign: 'center' },
    { cell: 'A2', text: title, bold: true, size: 12, align: 'left' },
    { cell: 'A3:A7', text: '', ...heading },
    { cell: 'A8', text: '甲', ...heading },
  ];
  const widths = { A: labelWidth };
  for (let i = 0; i < columns.length;) {
    const [group] = columns[i].split('|');
    let end = i + 1;
    while (group && end < columns.length && columns[end].split('|')[0] === group) ++end;
    const first = letters(i + 2);
    if (group) {
      const span = letters(end + 1);
      cells.push({ cell: first === span ? `${first}3:${first}4` : `${first}3:${span}4`, text: group, ...heading });
    }
    for (let j = i; j < end; ++j) {
      const column = letters(j + 2);
      cells.push({ cell: group ? `${column}5:${column}7` : `${column}3:${column}7`, text: columns[j].split('|')[1], ...heading });
      cells.push({ cell: `${column}8`, text: String(j + 1), ...heading });
      widths[column] = 12;
    }
    i = end;
  }
  return { name, landscape: true, columnWidths: widths, rowHeights: { 1: 30, 2: 20 }, cells };
}

function coverSheet() {
  const cells = [
    { cell: 'A1:F1', text: surveyTitle, bold: true, size: 18, align: 'center', valign: 'center' },
    { cell: 'A3:F3', text: '汇 总 表 目 录', bold: true, size: 14, align: 'center' },
  ];
  tables.forEach(([, title], i) => cells.push({ cell: `B${5 + i}:F${5 + i}`, text: title, align: 'left' }));
  return { name: '封面', columnWidths: { A: 6, B: 16, C: 16, D: 16, E: 16, F: 16 }, rowHeights: { 1: 40 }, cells };
}

for (const [stem, labelWidth] of [['2020基层表汇总表', 24], ['2020基层表汇总表(按产业类别)', 30]]) {
  const layout = { sheets: [coverSheet(), ...tables.map((table) => tableSheet(table, labelWidth))] };
  // One sheet property or cell per line keeps the files short and their differences readable.
  const sheets = layout.sheets.map((sheet) => {
    const { cells, ...rest } = sheet;
    const head = JSON.stringify(rest).slice(0, -1);
    return `  ${head},"cells":[\n${cells.map((cell) => `   ${JSON.stringify(cell)}`).join(',\n')}]}`;
  });
  writeFileSync(join(root, 'data', 'program', `${stem}.json`), `{"sheets":[\n${sheets.join(',\n')}\n]}\n`);
}
