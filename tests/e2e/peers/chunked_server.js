// A peer that no one here wrote the HTTP code of: Node.js's http module.
// It serves the file named on the command line with several res.write
// calls and no Content-Length, so the body goes out chunked. It prints its
// port, serves one request and exits.
'use strict';
const fs = require('fs');
const http = require('http');

const body = fs.readFileSync(process.argv[2]);
const piece = Number(process.argv[3] || 97);

const server = http.createServer((req, res) => {
  res.writeHead(200, { 'Content-Type': 'text/xml; charset=utf-8' });
  for (let i = 0; i < body.length; i += piece) res.write(body.subarray(i, i + piece));
  res.end();
  server.close();
});
server.listen(0, '127.0.0.1', () => {
  process.stdout.write(server.address().port + '\n');
});
setTimeout(() => process.exit(2), 30000).unref();
