// The web report viewer of q8vantorpt serve: the report list of the chosen
// source in the chosen language, a filter form built from the report's
// description (/api/reports/N/describe), the result as a table with its
// subtotal and total rows, downloads, and the report's SQL for tokens allowed
// to see it. Plain script, no build step; everything goes through /api with
// the token the user signs in with (kept for this browser tab only).
'use strict';

(() => {
  // ---- Texts ------------------------------------------------------------

  const TEXTS = {
    CHS: {
      brand: '寄售报表', source: '数据源', language: '语言', signOut: '退出',
      signInTitle: '登录报表服务', signInHint: '请输入管理员发给您的访问令牌。', token: '访问令牌',
      signIn: '登录', reports: '报表', run: '查询', downloadXlsx: '下载 Excel', downloadCsv: '下载 CSV',
      showSql: '查看 SQL', hideSql: '隐藏 SQL', noResult: '选择报表，填写条件后点“查询”。',
      rows: n => `${n.toLocaleString('zh-CN')} 行`, seconds: s => `${s} 秒`, running: '正在查询…',
      xlsxUnavailable: '此服务尚不能生成 Excel 工作簿', user: n => `用户 ${n}`,
      longCode: '长代码', shortCode: '短代码', codeMode: '代码范围按', from: '从', to: '至',
      dateRange: '单据日期', custRange: '客户代码', itemRange: '物料代码', stockRange: '仓库代码',
      badToken: '令牌无效，请重新输入。', emptyRows: '没有符合条件的数据。',
    },
    CHT: {
      brand: '寄售報表', source: '資料來源', language: '語言', signOut: '登出',
      signInTitle: '登入報表服務', signInHint: '請輸入管理員發給您的存取權杖。', token: '存取權杖',
      signIn: '登入', reports: '報表', run: '查詢', downloadXlsx: '下載 Excel', downloadCsv: '下載 CSV',
      showSql: '檢視 SQL', hideSql: '隱藏 SQL', noResult: '選擇報表，填寫條件後按「查詢」。',
      rows: n => `${n.toLocaleString('zh-TW')} 列`, seconds: s => `${s} 秒`, running: '正在查詢…',
      xlsxUnavailable: '此服務尚不能產生 Excel 活頁簿', user: n => `使用者 ${n}`,
      longCode: '長代碼', shortCode: '短代碼', codeMode: '代碼範圍按', from: '從', to: '至',
      dateRange: '單據日期', custRange: '客戶代碼', itemRange: '物料代碼', stockRange: '倉庫代碼',
      badToken: '權杖無效，請重新輸入。', emptyRows: '沒有符合條件的資料。',
    },
    EN: {
      brand: 'consignment reports', source: 'Source', language: 'Language', signOut: 'Sign out',
      signInTitle: 'Sign in to the report service', signInHint: 'Enter the access token you were given.',
      token: 'Access token', signIn: 'Sign in', reports: 'Reports', run: 'Run',
      downloadXlsx: 'Download Excel', downloadCsv: 'Download CSV', showSql: 'Show SQL', hideSql: 'Hide SQL',
      noResult: 'Choose a report, fill in the filters and press Run.',
      rows: n => `${n.toLocaleString('en')} rows`, seconds: s => `${s} s`, running: 'Running…',
      xlsxUnavailable: 'This service cannot write Excel workbooks yet', user: n => `user ${n}`,
      longCode: 'full code', shortCode: 'short code', codeMode: 'Compare codes by', from: 'from', to: 'to',
      dateRange: 'Bill date', custRange: 'Customer code', itemRange: 'Material code',
      stockRange: 'Warehouse code', badToken: 'The token is not valid; enter it again.',
      emptyRows: 'No rows match the filters.',
    },
  };

  // Filter keys: label, and the meaning of each choice.
  const FILTERS = {
    SumType: {
      label: ['汇总方式', '彙總方式', 'Rows per'],
      choices: {
        0: ['客户 + 物料', '客戶 + 物料', 'customer and material'],
        1: ['客户 + 物料 + 仓库', '客戶 + 物料 + 倉庫', 'customer, material and warehouse'],
        2: ['物料', '物料', 'material'],
      },
    },
    SalePrice: {
      label: ['销售单价取自', '銷售單價取自', 'Sales price from'],
      choices: {
        0: ['价格政策', '價格政策', 'price policy'],
        1: ['最近销售发票', '最近銷售發票', 'latest sales invoice'],
        2: ['物料销售单价', '物料銷售單價', "material's sales price"],
      },
    },
    UnitCost: {
      label: ['单位成本取自', '單位成本取自', 'Unit cost from'],
      choices: {
        0: ['标准成本', '標準成本', 'standard cost'],
        1: ['最近入库单（类型 1、2、5）', '最近入庫單（類型 1、2、5）', 'latest receipt (types 1, 2, 5)'],
        2: ['最近出库单（类型 21、24、28）', '最近出庫單（類型 21、24、28）', 'latest issue (types 21, 24, 28)'],
      },
    },
    Status: {
      label: ['单据状态', '單據狀態', 'Bills'],
      choices: {
        0: ['已审核', '已審核', 'checked'],
        1: ['未审核', '未審核', 'unchecked'],
        2: ['全部（不含作废）', '全部（不含作廢）', 'all (not cancelled)'],
      },
    },
    IsOnlyJS: {
      label: ['仓库范围', '倉庫範圍', 'Warehouses'],
      choices: {
        1: ['仅寄售仓（505）', '僅寄售倉（505）', 'consignment only (type 505)'],
        0: ['全部仓库', '全部倉庫', 'every warehouse'],
      },
    },
  };

  // Column captions; a report description that carries captions wins.
  const CAPTIONS = {
    FCustNumber: ['客户代码', '客戶代碼', 'Customer code'],
    FCustName: ['客户名称', '客戶名稱', 'Customer'],
    FMaterialNumber: ['物料代码', '物料代碼', 'Material code'],
    FMaterialName: ['物料名称', '物料名稱', 'Material'],
    FModel: ['规格型号', '規格型號', 'Model'],
    FMapNumber: ['对应代码', '對應代碼', 'Mapped code'],
    FMapName: ['对应名称', '對應名稱', 'Mapped name'],
    FAuxPropName: ['辅助属性', '輔助屬性', 'Aux. property'],
    FStockNumber: ['仓库代码', '倉庫代碼', 'Warehouse code'],
    FStockName: ['仓库名称', '倉庫名稱', 'Warehouse'],
    FSPNumber: ['仓位代码', '倉位代碼', 'Location code'],
    FSPName: ['仓位名称', '倉位名稱', 'Location'],
    FBatchNo1: ['批号', '批號', 'Batch'],
    FBatchNo: ['批号', '批號', 'Batch'],
    FKFDate: ['生产/采购日期', '生產/採購日期', 'Production date'],
    FKFPeriod: ['保质期（天）', '保質期（天）', 'Shelf life (days)'],
    FMaturityDate: ['有效期至', '有效期至', 'Expires'],
    FBUUnitName: ['基本单位', '基本單位', 'Base unit'],
    FBUQty: ['基本单位数量', '基本單位數量', 'Qty (base)'],
    FCUUnitName: ['常用单位', '常用單位', 'Stock unit'],
    FCUUQty: ['常用单位数量', '常用單位數量', 'Qty (stock unit)'],
    FSecUnitName: ['辅助单位', '輔助單位', 'Aux. unit'],
    FConvRate: ['换算率', '換算率', 'Conv. rate'],
    FSecQty: ['辅助单位数量', '輔助單位數量', 'Qty (aux.)'],
    FAuxTaxPrice: ['销售单价', '銷售單價', 'Sales price'],
    FAuxTaxMoney: ['销售金额', '銷售金額', 'Sales amount'],
    FUnitCost: ['单位成本', '單位成本', 'Unit cost'],
    FCost: ['成本', '成本', 'Cost'],
    FBillNO: ['单据号', '單據號', 'Bill'],
    FDate: ['日期', '日期', 'Date'],
    FTranTypeName: ['单据类型', '單據類型', 'Bill type'],
    FPeriodDate: ['期间', '期間', 'Period'],
    FBaseSendQty: ['发出数量（基本）', '發出數量（基本）', 'Sent (base)'],
    FSendQty: ['发出数量', '發出數量', 'Sent'],
    FBaseBackQty: ['退回数量（基本）', '退回數量（基本）', 'Returned (base)'],
    FBackQty: ['退回数量', '退回數量', 'Returned'],
    FBaseComQty: ['结算数量（基本）', '結算數量（基本）', 'Settled (base)'],
    FComQty: ['结算数量', '結算數量', 'Settled'],
    FBaseInvoiceQty: ['开票数量（基本）', '開票數量（基本）', 'Invoiced (base)'],
    FInvoiceQty: ['开票数量', '開票數量', 'Invoiced'],
    FBaseNoComQty: ['未结算数量（基本）', '未結算數量（基本）', 'Unsettled (base)'],
    FNoComQty: ['未结算数量', '未結算數量', 'Unsettled'],
    FBaseNoInvoiceQty: ['未开票数量（基本）', '未開票數量（基本）', 'Uninvoiced (base)'],
    FNoInvoiceQty: ['未开票数量', '未開票數量', 'Uninvoiced'],
    FComCost: ['结算成本', '結算成本', 'Settled cost'],
    FComMoney: ['结算金额', '結算金額', 'Settled amount'],
    FNoComCost: ['未结算成本', '未結算成本', 'Unsettled cost'],
    FNoComMoney: ['未结算金额', '未結算金額', 'Unsettled amount'],
    FInvoiceCost: ['开票成本', '開票成本', 'Invoiced cost'],
    FInvoiceMoney: ['开票金额', '開票金額', 'Invoiced amount'],
    FNoInvoiceCost: ['未开票成本', '未開票成本', 'Uninvoiced cost'],
    FNoInvoiceMoney: ['未开票金额', '未開票金額', 'Uninvoiced amount'],
  };

  // Columns that only carry keys, row kinds or precisions.
  const HIDDEN = new Set(['FSumSort', 'FOrderNO', 'FOrderNO2', 'FQtyDecimal', 'FPriceDecimal', 'FCustID',
    'FitemID', 'FinterID', 'FEntryID', 'FStockID', 'FTranType']);

  const LANG_INDEX = { CHS: 0, CHT: 1, EN: 2 };
  const LOCALE = { CHS: 'zh-CN', CHT: 'zh-TW', EN: 'en' };
  const SUBTOTAL = 101;
  const TOTAL = 100;

  // ---- State ------------------------------------------------------------

  // A sign-in link (`/#token=…`, printed by the service when it made a token
  // for its run) signs this tab in; the token then leaves the address bar.
  const linkToken = new URLSearchParams(location.hash.slice(1)).get('token');
  if (linkToken) {
    sessionStorage.setItem('q8.token', linkToken.trim());
    history.replaceState(null, '', location.pathname + location.search);
  }

  const state = {
    token: sessionStorage.getItem('q8.token') || '',
    lang: localStorage.getItem('q8.lang') || browserLanguage(),
    source: sessionStorage.getItem('q8.source') || '',
    session: null,
    reports: [],
    report: null,       // the chosen entry of `reports`
    describe: null,
    period: null,       // {StartDate, EndDate}
    values: {},         // filter values per report number
    result: null,       // {columns, rows, view}
  };

  const $ = id => document.getElementById(id);
  const t = key => TEXTS[state.lang][key] ?? TEXTS.EN[key];
  const pick = triple => triple[LANG_INDEX[state.lang] ?? 2];

  function browserLanguage() {
    const l = (navigator.language || 'en').toLowerCase();
    if (/^zh-(tw|hk|mo)|^zh-hant/.test(l)) return 'CHT';
    if (l.startsWith('zh')) return 'CHS';
    return 'EN';
  }

  // ---- The service ------------------------------------------------------

  class ApiError extends Error {
    constructor(status, info) {
      super(info.description || `HTTP ${status}`);
      this.status = status;
      this.info = info;
    }
  }

  async function api(path, params = {}, options = {}) {
    const url = new URL(path, location.origin);
    for (const [k, v] of Object.entries(params)) {
      if (v !== undefined && v !== null && v !== '') url.searchParams.set(k, v);
    }
    url.searchParams.set('lang', state.lang);
    if (state.source) url.searchParams.set('source', state.source);
    const response = await fetch(url, {
      headers: { Authorization: `Bearer ${state.token}`, Accept: options.accept || 'application/json' },
      cache: 'no-store',
    });
    if (!response.ok) {
      let info;
      try { info = await response.json(); } catch { info = { number: response.status, description: response.statusText }; }
      throw new ApiError(response.status, info);
    }
    if (options.raw) return response;
    return options.text ? response.text() : response.json();
  }

  // A record set in the service's json form as objects by column name.
  function records(set) {
    const names = set.columns.map(c => c.name);
    return set.rows.map(r => Object.fromEntries(names.map((n, i) => [n, r[i]])));
  }

  // ---- Sign-in, session, report list ------------------------------------

  function applyTexts() {
    document.documentElement.lang = LOCALE[state.lang];
    for (const el of document.querySelectorAll('[data-text]')) el.textContent = t(el.dataset.text);
    $('language').value = state.lang;
  }

  function showSignIn(message) {
    $('app').hidden = true;
    $('signout').hidden = true;
    $('who').textContent = '';
    $('signin-panel').hidden = false;
    $('signin-error').hidden = !message;
    $('signin-error').textContent = message || '';
    $('token').focus();
  }

  async function start() {
    applyTexts();
    if (!state.token) return showSignIn();
    try {
      state.session = await api('/api/session');
    } catch (e) {
      if (e.status === 401) {
        state.token = '';
        sessionStorage.removeItem('q8.token');
        return showSignIn(t('badToken'));
      }
      if (e.status === 403 || e.status === 404) {
        state.source = '';
        sessionStorage.removeItem('q8.source');
        return start();
      }
      return showSignIn(e.message);
    }
    const s = state.session;
    state.source = s.source;
    $('signin-panel').hidden = true;
    $('app').hidden = false;
    $('signout').hidden = false;
    $('who').textContent = s.name ? `${s.name} · ${t('user')(s.user)}` : t('user')(s.user);
    const sources = $('source');
    sources.textContent = '';
    for (const name of s.sources) sources.append(new Option(name, name, false, name === s.source));
    $('show-sql').hidden = !s.sql;
    const xlsx = $('download-xlsx');
    xlsx.disabled = !s.formats.includes('xlsx');
    xlsx.title = xlsx.disabled ? t('xlsxUnavailable') : '';
    await Promise.all([loadReports(), loadPeriod()]);
  }

  async function loadPeriod() {
    try {
      const p = await api('/api/periods/current');
      state.period = { start: String(p.StartDate || '').slice(0, 10), end: String(p.EndDate || '').slice(0, 10) };
    } catch {
      state.period = null;
    }
  }

  async function loadReports() {
    const known = new Map(state.session.reports.map(r => [r.method.toLowerCase(), r]));
    let catalogue = [];
    try {
      catalogue = records(await api('/api/reports'));
    } catch (e) {
      showError(e);
    }
    const list = [];
    const seen = new Set();
    for (const row of catalogue) {
      const r = known.get(String(row.FProcedure || '').toLowerCase());
      if (!r || seen.has(r.number)) continue;
      seen.add(r.number);
      list.push({ number: r.number, name: row.FRptName || r.title, sub: row.FNote || row.FDetailRptName || '' });
    }
    // Reports the catalogue of this database does not list.
    for (const r of state.session.reports) {
      if (!seen.has(r.number)) list.push({ number: r.number, name: r.title, sub: String(r.number) });
    }
    state.reports = list;
    const ul = $('report-list');
    ul.textContent = '';
    for (const r of list) {
      const li = document.createElement('li');
      li.dataset.number = r.number;
      const name = document.createElement('span');
      name.className = 'name';
      name.textContent = r.name;
      const sub = document.createElement('span');
      sub.className = 'sub';
      sub.textContent = `${r.number} · ${r.sub}`;
      li.append(name, sub);
      li.addEventListener('click', () => chooseReport(r.number));
      ul.append(li);
    }
    const current = state.report && list.find(r => r.number === state.report.number);
    await chooseReport(current ? current.number : list.length ? list[0].number : null, !!current);
  }

  // ---- The filter form --------------------------------------------------

  async function chooseReport(number, keepResult = false) {
    if (state.report) state.values[state.report.number] = collectFilters();
    state.report = state.reports.find(r => r.number === number) || null;
    for (const li of $('report-list').children) li.classList.toggle('active', Number(li.dataset.number) === number);
    if (!keepResult) clearResult();
    $('sql').hidden = true;
    if (!state.report) return;
    $('report-title').textContent = state.report.name;
    $('report-note').textContent = state.report.sub;
    try {
      state.describe = await api(`/api/reports/${number}/describe`);
    } catch (e) {
      return showError(e);
    }
    buildFilters(state.describe, state.values[number] || {});
  }

  function field(labelText, control) {
    const label = document.createElement('label');
    label.className = 'field';
    const span = document.createElement('span');
    span.textContent = labelText;
    label.append(span, control);
    return label;
  }

  function input(name, type, value, title) {
    const el = document.createElement('input');
    el.name = name;
    el.type = type;
    el.value = value ?? '';
    if (title) el.title = title;
    return el;
  }

  function range(labelText, bKey, eKey, type, values, keys) {
    const box = document.createElement('div');
    box.className = 'range';
    const dash = document.createElement('span');
    dash.className = 'dash';
    dash.textContent = '—';
    box.append(input(bKey, type, values[bKey], keys.get(bKey)?.meaning), dash,
      input(eKey, type, values[eKey], keys.get(eKey)?.meaning));
    const f = field(labelText, box);
    f.dataset.range = `${bKey}-${eKey}`;
    return f;
  }

  function buildFilters(desc, values) {
    const keys = new Map(desc.filters.map(f => [f.key, f]));
    const box = $('filter-fields');
    box.textContent = '';
    const used = new Set();
    if (keys.has('BDate') && keys.has('EDate')) {
      const v = { BDate: values.BDate ?? state.period?.start, EDate: values.EDate ?? state.period?.end };
      box.append(range(t('dateRange'), 'BDate', 'EDate', 'date', v, keys));
      used.add('BDate').add('EDate');
    }
    for (const f of desc.filters) {
      if (f.type !== 'number' || !f.allowed.length) continue;
      const select = document.createElement('select');
      select.name = f.key;
      select.title = f.meaning;
      const meta = FILTERS[f.key];
      for (const v of f.allowed) {
        const text = meta?.choices?.[v] ? `${v} · ${pick(meta.choices[v])}` : v;
        select.append(new Option(text, v));
      }
      select.value = values[f.key] ?? f.default;
      box.append(field(meta ? pick(meta.label) : f.key, select));
      used.add(f.key);
    }
    if (keys.has('bLongNumber')) {
      const f = keys.get('bLongNumber');
      const on = String(values.bLongNumber ?? f.default) === 'true';
      const sw = document.createElement('div');
      sw.className = 'switch';
      sw.title = f.meaning;
      for (const [value, text] of [['true', t('longCode')], ['false', t('shortCode')]]) {
        const label = document.createElement('label');
        label.dataset.value = value;
        const radio = input('bLongNumber', 'radio', value);
        radio.checked = (value === 'true') === on;
        label.classList.toggle('on', radio.checked);
        label.append(radio, document.createTextNode(text));
        radio.addEventListener('change', () => {
          for (const l of sw.children) l.classList.toggle('on', l.firstChild.checked);
        });
        sw.append(label);
      }
      box.append(field(t('codeMode'), sw));
      used.add('bLongNumber');
    }
    for (const [b, e, label] of [['BCustNumber', 'ECustNumber', 'custRange'], ['BItemNumber', 'EItemNumber', 'itemRange'],
      ['BStockNumber', 'EStockNumber', 'stockRange']]) {
      if (!keys.has(b) || !keys.has(e)) continue;
      box.append(range(t(label), b, e, 'text', values, keys));
      used.add(b).add(e);
    }
    for (const f of desc.filters) {
      if (used.has(f.key)) continue;
      box.append(field(f.key, input(f.key, f.type === 'date' ? 'date' : 'text', values[f.key] ?? '', f.meaning)));
    }
  }

  function collectFilters() {
    const out = {};
    for (const el of $('filter-fields').querySelectorAll('[name]')) {
      if (el.type === 'radio' && !el.checked) continue;
      if (el.value !== '') out[el.name] = el.value;
    }
    return out;
  }

  // ---- Running and downloading -----------------------------------------

  function showError(e) {
    const box = $('error');
    box.hidden = false;
    const info = e.info || {};
    box.textContent = info.source ? `${info.description}\n${info.source} (${info.number})` : e.message;
  }

  function clearError() {
    $('error').hidden = true;
    $('error').textContent = '';
  }

  async function run() {
    if (!state.report) return;
    clearError();
    const number = state.report.number;
    const filters = collectFilters();
    state.values[number] = filters;
    $('run').disabled = true;
    $('status').textContent = t('running');
    const began = performance.now();
    try {
      const set = await api(`/api/reports/${number}`, filters);
      const seconds = ((performance.now() - began) / 1000).toFixed(2);
      showResult(set);
      $('status').textContent = `${t('rows')(set.rows.length)} · ${t('seconds')(seconds)}`;
      if (!$('sql').hidden) await showSql();
    } catch (e) {
      $('status').textContent = '';
      if (e.status === 401) return showSignIn(t('badToken'));
      showError(e);
    } finally {
      $('run').disabled = false;
    }
  }

  async function download(form) {
    if (!state.report) return;
    clearError();
    const number = state.report.number;
    const accept = form === 'csv' ? 'text/csv'
      : 'application/vnd.openxmlformats-officedocument.spreadsheetml.sheet';
    try {
      const response = await api(`/api/reports/${number}`, { ...collectFilters(), format: form }, { raw: true, accept });
      const blob = await response.blob();
      const disposition = response.headers.get('Content-Disposition') || '';
      const name = (/filename="([^"]+)"/.exec(disposition) || [])[1] || `${number}.${form}`;
      const a = document.createElement('a');
      a.href = URL.createObjectURL(blob);
      a.download = name;
      document.body.append(a);
      a.click();
      setTimeout(() => { URL.revokeObjectURL(a.href); a.remove(); }, 2000);
    } catch (e) {
      showError(e);
    }
  }

  async function showSql() {
    if (!state.report) return;
    try {
      const text = await api(`/api/reports/${state.report.number}/sql`, collectFilters(),
        { text: true, accept: 'text/plain' });
      $('sql').textContent = text.replace(/\r\n/g, '\n');
      $('sql').hidden = false;
      $('show-sql').textContent = t('hideSql');
    } catch (e) {
      showError(e);
    }
  }

  // ---- The result table -------------------------------------------------

  function clearResult() {
    state.result = null;
    $('cols').textContent = '';
    $('thead').textContent = '';
    $('tbody').textContent = '';
    $('empty').hidden = false;
    $('empty').textContent = t('noResult');
    $('status').textContent = '';
  }

  // How a column's numbers are shown: the row's quantity or price
  // precision, two places for amounts; more places only when the value has
  // them (up to four), so nothing exact is hidden.
  function kindOf(column) {
    const n = column.name;
    if (!['int', 'decimal', 'float'].includes(column.type)) return column.type === 'datetime' ? 'date' : 'text';
    if (column.type === 'int') return 'int';
    if (/Qty$/i.test(n)) return 'qty';
    if (/Price$/i.test(n) || n === 'FUnitCost') return 'price';
    if (/(Money|Cost)$/i.test(n)) return 'amount';
    return 'number';
  }

  const formats = new Map();
  function numberFormat(min, max) {
    const key = `${state.lang}:${min}:${max}`;
    if (!formats.has(key)) {
      formats.set(key, new Intl.NumberFormat(LOCALE[state.lang], { minimumFractionDigits: min, maximumFractionDigits: max }));
    }
    return formats.get(key);
  }

  function cellText(value, column, digits) {
    if (value === null || value === undefined) return '';
    switch (column.kind) {
      case 'text': return String(value);
      case 'date': return String(value).endsWith(' 00:00:00') ? String(value).slice(0, 10) : String(value);
      case 'int': return String(value);
      case 'qty': return numberFormat(digits.qty, Math.max(digits.qty, 4)).format(value);
      case 'price': return numberFormat(digits.price, Math.max(digits.price, 4)).format(value);
      case 'amount': return numberFormat(2, 4).format(value);
      default: return numberFormat(0, 10).format(value);
    }
  }

  function showResult(set) {
    const columns = set.columns.map((c, index) => ({ ...c, index, kind: kindOf(c) }));
    const at = name => columns.findIndex(c => c.name === name);
    const sumSort = at('FSumSort');
    const qtyDecimal = at('FQtyDecimal');
    const priceDecimal = at('FPriceDecimal');
    const captions = new Map((state.describe?.columns || []).map(c => [c.name, c.caption]));
    const visible = columns.filter(c => !HIDDEN.has(c.name));
    // Each row's precisions: its own, carried from the last detail row for
    // subtotal rows, the widest seen for the total row.
    const digits = [];
    let last = { qty: 0, price: 2 };
    let widest = null;
    for (const row of set.rows) {
      const kind = sumSort >= 0 ? row[sumSort] : 0;
      let d = last;
      if (kind === TOTAL) {
        d = widest || last;
      } else if (kind !== SUBTOTAL && qtyDecimal >= 0) {
        d = {
          qty: row[qtyDecimal] ?? last.qty,
          price: priceDecimal >= 0 ? row[priceDecimal] ?? last.price : last.price,
        };
        last = d;
        widest = { qty: Math.max(widest?.qty ?? 0, d.qty), price: Math.max(widest?.price ?? 0, d.price) };
      }
      digits.push(d);
    }
    state.result = { columns: visible, rows: set.rows, sumSort, digits, first: -1, last: -1 };

    // Column widths from the header and a sample of rows, so that the
    // table keeps its shape while it scrolls.
    const canvas = showResult.canvas || (showResult.canvas = document.createElement('canvas'));
    const ctx = canvas.getContext('2d');
    const font = getComputedStyle(document.documentElement).fontFamily;
    const sample = set.rows.length <= 400 ? set.rows.map((r, i) => i)
      : [...Array(300).keys(), ...Array.from({ length: 100 }, (_, i) => set.rows.length - 1 - i)];
    const cols = $('cols');
    const head = document.createElement('tr');
    cols.textContent = '';
    for (const c of visible) {
      const caption = captions.get(c.name) || (CAPTIONS[c.name] ? pick(CAPTIONS[c.name]) : c.name);
      ctx.font = `600 14px ${font}`;
      let width = ctx.measureText(caption).width;
      ctx.font = `700 14px ${font}`;
      for (const i of sample) width = Math.max(width, ctx.measureText(cellText(set.rows[i][c.index], c, digits[i])).width);
      const col = document.createElement('col');
      col.style.width = `${Math.min(Math.ceil(width) + 24, 320)}px`;
      cols.append(col);
      const th = document.createElement('th');
      th.textContent = caption;
      th.title = c.name;
      th.dataset.column = c.name;
      if (!['text', 'date'].includes(c.kind)) th.className = 'num';
      head.append(th);
    }
    $('thead').textContent = '';
    $('thead').append(head);
    $('empty').hidden = set.rows.length > 0;
    $('empty').textContent = t('emptyRows');
    $('grid').scrollTop = 0;
    renderRows(true);
  }

  // Only the rows in sight (and a margin) are in the document: a result of
  // 100,000 rows scrolls as lightly as one of a hundred.
  const ROW_HEIGHT = 28;
  function renderRows(force = false) {
    const r = state.result;
    if (!r) return;
    const grid = $('grid');
    const first = Math.max(0, Math.floor(grid.scrollTop / ROW_HEIGHT) - 15);
    const last = Math.min(r.rows.length, first + Math.ceil(grid.clientHeight / ROW_HEIGHT) + 30);
    if (!force && first === r.first && last === r.last) return;
    r.first = first;
    r.last = last;
    const body = document.createDocumentFragment();
    const spacer = height => {
      const tr = document.createElement('tr');
      tr.className = 'spacer';
      const td = document.createElement('td');
      td.colSpan = r.columns.length;
      td.style.height = `${height}px`;
      tr.append(td);
      return tr;
    };
    if (first > 0) body.append(spacer(first * ROW_HEIGHT));
    for (let i = first; i < last; ++i) {
      const row = r.rows[i];
      const tr = document.createElement('tr');
      const kind = r.sumSort >= 0 ? row[r.sumSort] : 0;
      if (kind === SUBTOTAL) tr.className = 'subtotal';
      else if (kind === TOTAL) tr.className = 'total';
      for (const c of r.columns) {
        const td = document.createElement('td');
        td.textContent = cellText(row[c.index], c, r.digits[i]);
        if (!['text', 'date'].includes(c.kind)) td.className = 'num';
        tr.append(td);
      }
      body.append(tr);
    }
    if (last < r.rows.length) body.append(spacer((r.rows.length - last) * ROW_HEIGHT));
    const tbody = $('tbody');
    tbody.textContent = '';
    tbody.append(body);
  }

  // ---- Wiring -----------------------------------------------------------

  document.addEventListener('DOMContentLoaded', () => {
    $('signin-form').addEventListener('submit', ev => {
      ev.preventDefault();
      state.token = $('token').value.trim();
      sessionStorage.setItem('q8.token', state.token);
      $('token').value = '';
      start();
    });
    $('signout').addEventListener('click', () => {
      state.token = '';
      sessionStorage.removeItem('q8.token');
      clearResult();
      showSignIn();
    });
    $('language').addEventListener('change', async () => {
      state.lang = $('language').value;
      localStorage.setItem('q8.lang', state.lang);
      const hadResult = !!state.result;
      if (state.report) state.values[state.report.number] = collectFilters();
      await start();
      if (hadResult) await run();
    });
    $('source').addEventListener('change', () => {
      state.source = $('source').value;
      sessionStorage.setItem('q8.source', state.source);
      state.report = null;
      start();
    });
    $('filters').addEventListener('submit', ev => {
      ev.preventDefault();
      run();
    });
    $('download-csv').addEventListener('click', () => download('csv'));
    $('download-xlsx').addEventListener('click', () => download('xlsx'));
    $('show-sql').addEventListener('click', () => {
      if ($('sql').hidden) return showSql();
      $('sql').hidden = true;
      $('show-sql').textContent = t('showSql');
    });
    let pending = false;
    $('grid').addEventListener('scroll', () => {
      if (pending) return;
      pending = true;
      requestAnimationFrame(() => { pending = false; renderRows(); });
    });
    window.addEventListener('resize', () => renderRows(true));
    start();
  });
})();
