
(function(){
if(location.hash!=='#selftest')return;
var out=[],kinds=['station','signal','line-board','speed-board','slowdown','curve'];
// Each kind counted in every view the page has: distinct elements in the
// map, the profile and the lists must agree.
var views=[['map','#map'],['profile','#profile'],['lists','#lists, #timetable']].map(function(v){return {name:v[0],roots:document.querySelectorAll(v[1])};}).filter(function(v){return v.roots.length>0;});
kinds.forEach(function(k){
  var counts=views.map(function(v){var seen={},n=0;Array.prototype.forEach.call(v.roots,function(r){Array.prototype.forEach.call(r.querySelectorAll('[data-kind="'+k+'"]'),function(x){var id=x.getAttribute('data-el');if(!seen[id]){seen[id]=1;n++;}});});return n;});
  var same=counts.every(function(n){return n===counts[0];});
  out.push(k+'='+(same?(counts.length?counts[0]:0):'mismatch '+views.map(function(v,i){return v.name+':'+counts[i];}).join(' ')));
});
out.push('without-cell='+document.querySelectorAll('[data-kind]:not([data-cell])').length);
out.push('diagnostics='+document.querySelectorAll('tr[data-diag]').length);
out.push('map-markers='+document.querySelectorAll('#map .mk').length);
var tried=0,good=0,details=document.getElementById('details'),data;
try{data=JSON.parse(document.getElementById('view-data').textContent);}catch(e){window.viewErrors.push('data: '+e);data={elements:[]};}
kinds.forEach(function(k){
  var n=document.querySelector('#map [data-kind="'+k+'"]')||document.querySelector('#profile [data-kind="'+k+'"]');if(!n)return;
  tried++;details.textContent='';n.dispatchEvent(new MouseEvent('mouseover',{bubbles:true}));
  var i=n.getAttribute('data-el'),e=data.elements[+i],t=details.textContent;
  if(e&&details.getAttribute('data-shown')===i&&t.indexOf(e.v[0][1])>=0&&(!e.s||t.indexOf(e.s)>=0)&&n.classList.contains('hl'))good++;
  else out.push('hover failed on '+k+' '+i);
});
var row=document.querySelector('tr[data-diag]');
if(row){tried++;details.textContent='';row.dispatchEvent(new MouseEvent('mouseover',{bubbles:true}));
  if(details.textContent.indexOf(row.querySelector('.dm').textContent)>=0)good++;else out.push('hover failed on a diagnostic');}
out.push('hover='+(tried===good?'ok':'failed')+' '+good+'/'+tried);
var map=document.getElementById('map');
if(map){var before=map.viewBox.baseVal.width,r=map.getBoundingClientRect();
  map.dispatchEvent(new WheelEvent('wheel',{deltaY:-100,clientX:r.left+r.width/2,clientY:r.top+r.height/2,bubbles:true,cancelable:true}));
  out.push('zoom='+(map.viewBox.baseVal.width<before?'ok':'failed'));
  var home=document.querySelector('[data-zoom="home"]');if(home)home.click();}
else out.push('zoom=none (no line plan)');
var toggle=document.getElementById('chainage-toggle'),axis=document.getElementById('chainage-axis');
if(toggle&&axis){toggle.click();var hidden=axis.getAttribute('visibility')==='hidden';toggle.click();
  out.push('chainage-axis='+(hidden&&axis.getAttribute('visibility')==='visible'?'toggles':'stuck'));}
else out.push('chainage-axis=none');
['route','cell'].forEach(function(k){var b=document.querySelector('#'+k+'-check');
  out.push(k+'-check='+(!b?'none':b.classList.contains('ok')?'confirmed':b.classList.contains('unknown')?'unknown':'differs'));});
out.push('ready-ms='+Math.round(performance.now()));
out.push('errors='+window.viewErrors.length);
window.viewErrors.forEach(function(m){out.push('error: '+m);});
out.push('selftest-done');
var pre=document.getElementById('selftest');pre.textContent=out.join('\n');pre.hidden=false;
})();
